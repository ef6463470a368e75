#!/usr/bin/env bash
# Runs koru on every input under tests/data/crosscheck (and the shipped
# example) and checks each run's result files with the independent LP
# cross-check tool beside the repository (../shared/tools/dea_crosscheck.py).
# Exits 77 (skipped) when the tool or its Python packages are not there.
set -u
koru="$1"
src="$2"
tool="$src/../shared/tools/dea_crosscheck.py"
python=/usr/bin/python3
[ -f "$tool" ] || { echo "cross-check tool not found: $tool"; exit 77; }
"$python" -c 'import numpy, scipy.optimize' 2>/dev/null || { echo "python3-scipy not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
inputs=("$src"/tests/data/crosscheck/*_input.csv)
[ "${KORU_CROSSCHECK_EXAMPLE:-1}" = 1 ] && inputs+=("$src/examples/us_states_input.csv")
for input in "${inputs[@]}"; do
  name=$(basename "$input")
  cp "$input" "$work/$name"
  "$koru" "$work/$name" </dev/null >"$work/$name.console" 2>&1
  summary=$("$python" "$tool" "$work/$name" --quiet 2>&1 | tail -n 1)
  if ! "$python" "$tool" "$work/$name" --quiet >/dev/null 2>&1; then
    echo "FAILED $name: $summary"
    "$python" "$tool" "$work/$name" 2>&1 | grep -E '^FAIL' | head -n 20
    failed=1
  else
    echo "ok     $name: $summary"
  fi
done
exit $failed
