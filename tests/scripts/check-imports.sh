#!/usr/bin/env bash
# Fails when PROGRAM imports a DLL that is not one of the system's known DLLs:
# Windows looks for any other DLL beside the program first.
#   check-imports.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1 program=$2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|shlwapi|comctl32|msvcrt|api-ms-win-crt-[a-z0-9-]+|ucrtbase)\.dll$'
dlls=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$dlls" ] || { echo "no imports found in $program" >&2; exit 1; }
bad=0
for dll in $dlls; do
  if [[ "$dll" =~ $allowed ]]; then echo "ok      $dll"; else echo "FORBIDDEN $dll"; bad=1; fi
done
exit $bad
