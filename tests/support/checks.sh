# Sourced by the shell tests: check DESCRIPTION COMMAND... prints "ok - ..."
# when COMMAND succeeds, else "not ok - ..." and the end of its output.
# Needs $scratch, the test's scratch folder.
check() {
  local what=$1
  shift
  if "$@" >"$scratch/last" 2>&1; then
    echo "ok - $what"
  else
    echo "not ok - $what"
    tail -20 "$scratch/last" | sed 's/^/    /'
  fi
}
