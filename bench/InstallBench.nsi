; The reference of the installation benchmark: the benchmark product's files
; installed by an NSIS installer into the folder given with /D=, laid out as
; setup.exe leaves them (the manifest's sources copied from ins\ into the
; product folder, ins\ itself not kept), with an uninstall entry under HKLM and
; one shortcut on the desktop. zlib, each file compressed on its own: the
; closest of NSIS's compressors to the cabinet's MSZIP (deflate).
;   makensis -DSOURCE=PAYLOAD_TREE -DOUTFILE=INSTALLER.exe InstallBench.nsi
Unicode true
Target amd64-unicode
SetCompressor zlib
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\YnbBench"

Name "YnbBench"
OutFile "${OUTFILE}"
InstallDir "C:\YnbBench"

Page directory
Page instfiles

Section "Install"
    SetOutPath "$INSTDIR\YnbBench"
    File /r /x ins "${SOURCE}/YnbBench/*"
    File "${SOURCE}/YnbBench/ins/notes.txt"
    File "${SOURCE}/YnbBench/ins/settings.ini"
    SetOutPath "$INSTDIR\YnbBench\manual"
    File /r "${SOURCE}/YnbBench/ins/manual/*"
    SetOutPath "$INSTDIR\YnbBench"
    WriteUninstaller "$INSTDIR\YnbBench\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "YnbBench"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$INSTDIR\YnbBench\uninstall.exe"
    CreateShortcut "$DESKTOP\YnbBench.lnk" "$INSTDIR\YnbBench\bin\bench.exe"
SectionEnd

Section "Uninstall"
    Delete "$DESKTOP\YnbBench.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    RMDir /r "$INSTDIR"
SectionEnd
