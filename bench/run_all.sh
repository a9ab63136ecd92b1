#!/usr/bin/env bash
# Runs every benchmark program in $1 and ends with all figures, one a line.
# A program that fails (a crash among them) or prints no figure is named at
# the end, and the run fails: a figure never goes missing without a word.
set -uo pipefail
bin=$1
figures=$(mktemp)
failed=()
for program in "$bin"/*_bench; do
  name=$(basename "$program")
  echo "== $name"
  output=$(mktemp)
  "$program" | tee "$output"
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    failed+=("$name ended with status $status")
  elif ! grep -qE '^[a-z0-9_]+: [-0-9.]+ ' "$output"; then
    failed+=("$name printed no figure")
  fi
  cat "$output" >>"$figures"
  rm -f "$output"
done
echo "== figures"
grep -E '^[a-z0-9_]+: [-0-9.]+ ' "$figures"
rm -f "$figures"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'run_all: %s\n' "${failed[@]}" >&2
  exit 1
fi
