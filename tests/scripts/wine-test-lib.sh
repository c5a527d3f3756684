# Sourced by the scripts that check a Windows test program from the host.

# require_program WINE_RUN EXE: runs the program once (which also makes the
# Wine prefix on first use); exits 77 (skipped) when this host cannot run its
# architecture, 1 when it does not start.
require_program() {
  local status=0
  "$1" "$2" --gtest_list_tests >/dev/null 2>&1 || status=$?
  [ "$status" -eq 77 ] && exit 77
  [ "$status" -eq 0 ] || { echo "cannot run $2 (status $status)"; exit 1; }
}

# scratch_folder NAME: sets base to a fresh folder C:\NAME of the prefix in
# $YNB_WINE_ROOT, removed with its log ($base.log) when the script ends.
scratch_folder() {
  base=${YNB_WINE_ROOT:?}/prefix/drive_c/$1
  rm -rf "$base"
  trap 'rm -rf "$base" "$base.log"' EXIT
}
