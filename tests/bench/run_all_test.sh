#!/usr/bin/env bash
# bench/run_all.sh with stand-in benchmarks: a crash or a program without a
# figure fails the run and is named; the others' figures are all there.
set -uo pipefail
cd "$(dirname "$0")/../.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
source tests/support/checks.sh

bench() {  # bench NAME BODY: a stand-in benchmark program
  printf '#!/usr/bin/env bash\n%s\n' "$2" >"$scratch/bin/$1_bench"
  chmod +x "$scratch/bin/$1_bench"
}
mkdir -p "$scratch/bin"
bench good 'echo "good_figure: 1.000 ratio"'
bench crash 'echo "crash_figure: 2.000 ratio"; kill -SEGV $$'
bench quiet 'echo "nothing to report"'

bench/run_all.sh "$scratch/bin" >"$scratch/out" 2>"$scratch/err"
status=$?
check "the run fails" test "$status" -ne 0
check "the crash is named" grep -q "run_all: crash_bench ended with status 139" "$scratch/err"
check "the silent one is named" grep -q "run_all: quiet_bench printed no figure" "$scratch/err"
check "the good one is not" bash -c "! grep -q good_bench '$scratch/err'"
check "every figure printed is kept" grep -q "^good_figure: 1.000 ratio" "$scratch/out"

rm "$scratch/bin/crash_bench" "$scratch/bin/quiet_bench"
check "a clean run passes" bench/run_all.sh "$scratch/bin"
