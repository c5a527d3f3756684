; The references of the installation benchmark: the benchmark product's files
; installed by an NSIS installer into the folder given with /D=, where
; setup.exe places them through the product's manifest (the program tree and
; the log's folder into the install folder, readme.txt to the desktop, the
; samples folder to the documents), with an uninstall entry under HKLM and one
; shortcut on the desktop. zlib compresses each file on its own, the closest
; of NSIS's compressors to the cabinet's MSZIP; with -DSOLID_LZMA the whole
; payload is one LZMA stream, what most NSIS products ship.
;   makensis [-DSOLID_LZMA] -DSOURCE=PAYLOAD_TREE -DOUTFILE=INSTALLER.exe InstallBench.nsi
Unicode true
Target amd64-unicode
!ifdef SOLID_LZMA
SetCompressor /SOLID lzma
!else
SetCompressor zlib
!endif
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\YnbBench"
!define STAGING "${SOURCE}/YnbBench/ins"

Name "YnbBench"
OutFile "${OUTFILE}"
InstallDir "C:\YnbBench"

Page directory
Page instfiles

Section "Install"
    SetOutPath "$INSTDIR\YnbBench\program"
    File /r "${STAGING}/program/*"
    SetOutPath "$INSTDIR\YnbBench\ynb"
    File /r "${STAGING}/ynb/*"
    SetOutPath "$DESKTOP"
    File "${STAGING}/readme.txt"
    SetOutPath "$DOCUMENTS\samples"
    File /r "${STAGING}/samples/*"
    SetOutPath "$INSTDIR\YnbBench"
    WriteUninstaller "$INSTDIR\YnbBench\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "YnbBench"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$INSTDIR\YnbBench\uninstall.exe"
    CreateShortcut "$DESKTOP\YnbBench.lnk" "$INSTDIR\YnbBench\program\bin\clock.exe"
SectionEnd

Section "Uninstall"
    Delete "$DESKTOP\YnbBench.lnk"
    Delete "$DESKTOP\readme.txt"
    RMDir /r "$DOCUMENTS\samples"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    RMDir /r "$INSTDIR"
SectionEnd
