#!/usr/bin/env bash
# Bounded fuzzing of KORU's input handling with the libFuzzer targets of a
# KORU_FUZZ build:
#
#   tests/fuzz/run_fuzz.sh BUILD_DIR READER_SECONDS RUN_SECONDS [CORPUS_DIR]
#
# koru_fuzz_reader (reading only) runs for READER_SECONDS, then koru_fuzz_run
# (whole runs of small panels) for RUN_SECONDS, both on one working corpus
# that starts from the seed files in tests/fuzz/corpus. CORPUS_DIR keeps the
# working corpus between runs (a fresh temporary one otherwise). Findings are
# written to CORPUS_DIR/../findings or the temporary directory and make the
# script exit 1.
set -euo pipefail
build="$1"
reader_seconds="$2"
run_seconds="$3"
here="$(cd "$(dirname "$0")" && pwd)"

if [ $# -ge 4 ]; then
  corpus="$4"
  findings="$(dirname "$corpus")/findings"
  mkdir -p "$corpus" "$findings"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  corpus="$work/corpus"
  findings="$work/findings"
  mkdir -p "$corpus" "$findings"
fi
cp -n "$here"/corpus/* "$corpus"/

# Inputs up to 4096 bytes hold panels of a few hundred observations at most,
# which finish in well under a second; a run of 30 seconds counts as hung
# (the margin covers programs that run to the simplex step limit).
options=(-max_len=4096 -timeout=30 -rss_limit_mb=4096 -detect_leaks=0 -print_final_stats=1
  "-artifact_prefix=$findings/")
status=0
for target in koru_fuzz_reader koru_fuzz_run; do
  seconds=$reader_seconds
  [ "$target" = koru_fuzz_run ] && seconds=$run_seconds
  [ "$seconds" -gt 0 ] || continue
  echo "== $target for $seconds s on $(ls "$corpus" | wc -l) inputs"
  log="$(mktemp)"
  if ! "$build/tests/fuzz/$target" "${options[@]}" -max_total_time="$seconds" "$corpus" >"$log" 2>&1; then
    status=1
  fi
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|ERROR|koru_fuzz:|^artifact_prefix|Test unit written' "$log" || true
  if [ "$status" -ne 0 ]; then
    echo "== $target: finding; the last 60 lines of its log:"
    tail -n 60 "$log"
  fi
  rm -f "$log"
done
if ls "$findings"/* >/dev/null 2>&1; then
  echo "== findings:"
  ls -l "$findings"
  status=1
fi
exit $status
