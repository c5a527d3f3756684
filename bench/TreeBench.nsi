; An NSIS installer of a whole tree, solid LZMA (what most NSIS products
; ship), for comparing the time its build takes with ynbpack's:
;   makensis -DSOURCE=TREE -DOUTFILE=INSTALLER.exe TreeBench.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
Name "YnbBench"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\YnbBench"

Section "Install"
    SetOutPath "$INSTDIR"
    File /r "${SOURCE}/*.*"
SectionEnd
