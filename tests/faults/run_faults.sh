#!/usr/bin/env bash
# Fault runs of whole koru runs: a run that stops, fails to write or is
# killed must leave the results of the earlier run whole.
#
#   tests/faults/run_faults.sh BUILD_DIR
#
# Before every run the folder holds the results of an "earlier run" (the
# expected files with one more line, so that they differ from a new run's).
# Afterwards each result file must be the earlier one or the expected one,
# byte for byte, and no temporary (*.koru-tmp-*) may be left, except after
# SIGKILL, whose temporaries the next run must remove.
#
#   full disk       a small tmpfs, sized so the run fails in each of the five
#                   files in turn (needs root and mount; skipped otherwise);
#   write failures  200 runs under fiu-run, write(2) and fsync failing at
#                   random (Debian's fiu-utils; skipped where missing);
#   SIGKILL         30 moments spread over a run of a few seconds, each
#                   followed by a rerun that must give the expected files;
#   SIGTERM         10 moments: status 143 and the earlier files;
#   permissions     a read-only folder, a read-only result file, a folder in
#                   place of a result file (as an unprivileged user when root).
#
# Prints a table of the counts and the time the final renames take; exits 1
# when any run went wrong.
set -uo pipefail
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
koru="$build/koru"
python=/usr/bin/python3
[ -x "$python" ] || python=python3

work="$(mktemp -d)"
mounted=""
cleanup() {
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

suffixes=(_output_xxerrors.txt _output_indexes.csv _output_levels.csv _output_shadowprices.csv _output_xtras.csv)
problems=0
table=()

problem() {
  echo "  PROBLEM: $*"
  problems=$((problems + 1))
}

# make_expected NAME: the panel NAME_input.csv (in $work) run undisturbed in
# $work/NAME.expected; the earlier run's files in $work/NAME.earlier.
make_expected() {
  local name=$1
  mkdir -p "$work/$name.expected" "$work/$name.earlier"
  cp "$work/${name}_input.csv" "$work/$name.expected/"
  (cd "$work/$name.expected" && "$koru" --batch "${name}_input.csv" >console.txt 2>&1) ||
    { echo "the undisturbed run of $name failed"; exit 1; }
  for s in "${suffixes[@]}"; do
    { cat "$work/$name.expected/$name$s"; echo "an earlier run"; } >"$work/$name.earlier/$name$s"
  done
}

# set_earlier NAME DIR: DIR holds the input and the earlier run's results.
set_earlier() {
  local name=$1 dir=$2
  rm -f "$dir"/"$name"_output_* "$dir"/*.koru-tmp-*
  cp "$work/${name}_input.csv" "$dir/"
  cp "$work/$name.earlier/"* "$dir/"
}

# outcome NAME DIR: "earlier" or "expected" when every result file in DIR is
# the earlier or the expected one, "mixed" when each is one of them but not
# all the same, "broken: ..." otherwise (a truncated or missing file).
outcome() {
  local name=$1 dir=$2 earlier=0 expected=0 s
  for s in "${suffixes[@]}"; do
    if cmp -s "$dir/$name$s" "$work/$name.earlier/$name$s"; then
      earlier=$((earlier + 1))
    elif cmp -s "$dir/$name$s" "$work/$name.expected/$name$s"; then
      expected=$((expected + 1))
    else
      echo "broken: $name$s"
      return
    fi
  done
  if [ "$earlier" -eq 5 ]; then echo earlier; elif [ "$expected" -eq 5 ]; then echo expected; else echo mixed; fi
}

temporaries() { ls "$1" | grep -c 'koru-tmp' || true; }

row() { table+=("$(printf '%-22s %8s %9s %8s %14s' "$@")"); }

# ---------------------------------------------------------------------------
# Panels: a small one (48 observations, some programs fail, so the error log
# has entries) and one that runs for a few seconds.
"$python" "$source_dir/bench/make_panel.py" --firms 12 --periods 4 --family HicksMoorsteen --rts VRS \
  "$work/small_input.csv" >/dev/null
"$python" "$source_dir/bench/make_panel.py" --firms 100 --periods 10 --family HicksMoorsteen --rts VRS \
  --notechchange "$work/long_input.csv" >/dev/null
make_expected small
now() { "$python" -c 'import time; print(time.time())'; }
started=$(now)
make_expected long
long_seconds=$("$python" -c "print($(now) - $started)")
[ -s "$work/small.expected/small_output_xxerrors.txt" ] || { echo "the small panel has no failed programs"; exit 1; }

# ---------------------------------------------------------------------------
echo "== full disk: a tmpfs too small for the new files, failing in each file in turn"
if [ "$(id -u)" -eq 0 ] && mkdir -p "$work/disk" && mount -t tmpfs -o size=4m tmpfs "$work/disk" 2>/dev/null; then
  umount "$work/disk"
  pages() { echo $(( ($(stat -c %s "$1") + 4095) / 4096 )); }
  # Pages the input and the earlier files take, and each new file in the
  # order the run writes them: the error log during the run, then the four
  # result files.
  base_pages=$(pages "$work/small_input.csv")
  for s in "${suffixes[@]}"; do base_pages=$((base_pages + $(pages "$work/small.earlier/small$s"))); done
  before=0 injected=0 stopped=0 intact=0
  for s in "${suffixes[@]}"; do
    injected=$((injected + 1))
    mount -t tmpfs -o size=$(( (base_pages + before) * 4 ))k tmpfs "$work/disk" && mounted="$work/disk"
    set_earlier small "$work/disk"
    status=0
    (cd "$work/disk" && "$koru" --batch small_input.csv >"$work/console.txt" 2>&1) || status=$?
    result=$(outcome small "$work/disk")
    left=$(temporaries "$work/disk")
    if [ "$status" -eq 1 ]; then stopped=$((stopped + 1)); fi
    if [ "$status" -eq 1 ] && grep -q "ERROR: Unable to write small$s: No space left on device" "$work/console.txt" &&
      [ "$result" = earlier ] && [ "$left" -eq 0 ]; then
      intact=$((intact + 1))
      echo "  fails in small$s with $before pages free beyond the earlier files: status 1, earlier files whole"
    else
      problem "full disk at small$s: status $status, files $result, $left temporaries; console: $(tail -n 2 "$work/console.txt" | tr '\n' ' ')"
    fi
    umount "$work/disk" && mounted=""
    before=$((before + $(pages "$work/small.expected/small$s")))
  done
  row "full disk (tmpfs)" "$injected" 0 "$stopped" "$intact"
else
  echo "  skipped: needs root and a tmpfs mount"
  row "full disk (tmpfs)" skipped - - -
fi

# ---------------------------------------------------------------------------
echo "== random write failures (fiu-run: write(2) and fsync fail with probability 0.05)"
if command -v fiu-run >/dev/null 2>&1; then
  mkdir -p "$work/fiu"
  injected=0 finished=0 stopped=0 intact=0
  for i in $(seq 1 200); do
    injected=$((injected + 1))
    set_earlier small "$work/fiu"
    status=0
    (cd "$work/fiu" && fiu-run -x -c "enable_random name=posix/io/rw/*,probability=0.05" \
      -c "enable_random name=posix/io/sync/*,probability=0.05" \
      "$koru" --batch small_input.csv >"$work/console.txt" 2>&1) || status=$?
    result=$(outcome small "$work/fiu")
    left=$(temporaries "$work/fiu")
    if [ "$status" -eq 0 ] && [ "$result" = expected ] && [ "$left" -eq 0 ]; then
      finished=$((finished + 1)) intact=$((intact + 1))
    elif [ "$status" -eq 1 ] && [ "$result" = earlier ] && [ "$left" -eq 0 ] &&
      grep -q "ERROR: Unable to write small_output_" "$work/console.txt"; then
      stopped=$((stopped + 1)) intact=$((intact + 1))
    else
      problem "fiu run $i: status $status, files $result, $left temporaries; console: $(tail -n 2 "$work/console.txt" | tr '\n' ' ')"
    fi
  done
  echo "  $finished finished with the expected files, $stopped stopped with the earlier files"
  row "write failures (fiu)" "$injected" "$finished" "$stopped" "$intact"
else
  echo "  skipped: fiu-run is not installed (Debian package fiu-utils)"
  row "write failures (fiu)" skipped - - -
fi

# ---------------------------------------------------------------------------
# run_signalled SIGNAL SECONDS: runs the long panel in $work/kill and sends
# SIGNAL after SECONDS; sets $status.
run_signalled() {
  local signal=$1 delay=$2 pid
  (cd "$work/kill" && exec "$koru" --batch long_input.csv >"$work/console.txt" 2>"$work/stderr.txt") &
  pid=$!
  sleep "$delay"
  kill "-$signal" "$pid" 2>/dev/null
  status=0
  wait "$pid" 2>/dev/null || status=$?
}

echo "== SIGKILL at 30 moments over a run of $(printf '%.1f' "$long_seconds") s, each followed by a rerun"
mkdir -p "$work/kill"
injected=0 finished=0 stopped=0 intact=0 mixed=0
for i in $(seq 0 29); do
  injected=$((injected + 1))
  set_earlier long "$work/kill"
  delay=$("$python" -c "print(round($long_seconds * ($i + 0.5) / 30, 3))")
  run_signalled KILL "$delay"
  result=$(outcome long "$work/kill")
  case "$result" in
    earlier) stopped=$((stopped + 1)) intact=$((intact + 1)) ;;
    expected) finished=$((finished + 1)) intact=$((intact + 1)) ;;
    mixed) mixed=$((mixed + 1)) intact=$((intact + 1)); echo "  killed at ${delay} s within the renames: a mix of earlier and new files, each whole" ;;
    *) problem "SIGKILL at ${delay} s: $result" ;;
  esac
  # The rerun removes the killed run's temporaries and writes the expected files.
  rerun=0
  (cd "$work/kill" && "$koru" --batch long_input.csv >"$work/console.txt" 2>&1) || rerun=$?
  result=$(outcome long "$work/kill")
  left=$(temporaries "$work/kill")
  [ "$rerun" -eq 0 ] && [ "$result" = expected ] && [ "$left" -eq 0 ] ||
    problem "rerun after SIGKILL at ${delay} s: status $rerun, files $result, $left temporaries"
done
echo "  $stopped killed before the renames (earlier files), $finished after them (new files), $mixed within them; every rerun gave the expected files"
row "SIGKILL + rerun" "$injected" "$finished" "$stopped" "$intact"

echo "== SIGTERM at 10 moments"
injected=0 finished=0 stopped=0 intact=0
for i in $(seq 0 9); do
  injected=$((injected + 1))
  set_earlier long "$work/kill"
  delay=$("$python" -c "print(round($long_seconds * ($i + 0.5) / 10, 3))")
  run_signalled TERM "$delay"
  result=$(outcome long "$work/kill")
  left=$(temporaries "$work/kill")
  if [ "$status" -eq 143 ] && [ "$result" = earlier ] && [ "$left" -eq 0 ] &&
    [ "$(cat "$work/stderr.txt")" = "koru: run interrupted by SIGTERM; the earlier result files are unchanged" ]; then
    stopped=$((stopped + 1)) intact=$((intact + 1))
  elif { [ "$status" -eq 0 ] || [ "$status" -eq 143 ]; } && [ "$result" = expected ] && [ "$left" -eq 0 ]; then
    finished=$((finished + 1)) intact=$((intact + 1))
  else
    problem "SIGTERM at ${delay} s: status $status, files $result, $left temporaries; stderr: $(cat "$work/stderr.txt")"
  fi
done
row "SIGTERM" "$injected" "$finished" "$stopped" "$intact"

# ---------------------------------------------------------------------------
echo "== the renames of a finished run"
window=""
if command -v cc >/dev/null 2>&1 && cc -shared -fPIC -O2 -o "$work/rename_window.so" "$here/rename_window.c" -ldl 2>/dev/null; then
  set_earlier long "$work/kill"
  (cd "$work/kill" && KORU_RENAME_WINDOW="$work/window.txt" LD_PRELOAD="$work/rename_window.so" \
    "$koru" --batch long_input.csv >/dev/null 2>&1)
  if [ -s "$work/window.txt" ]; then
    read -r count micros <"$work/window.txt"
    window="$count renames in $micros microseconds, from the start of the first to the end of the last"
  fi
fi
echo "  ${window:-not measured (no C compiler)}"

# ---------------------------------------------------------------------------
echo "== a read-only folder, a read-only result file, a folder in place of a result file"
# As root every file is writable: these runs are made as user nobody.
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  if command -v setpriv >/dev/null 2>&1; then
    run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  else
    run_as=(skip)
  fi
fi
if [ "${run_as[0]:-}" != skip ]; then
  cp "$koru" "$work/koru"
  chmod 755 "$work/koru"
  injected=0 stopped=0 intact=0
  for case in folder file directory; do
    injected=$((injected + 1))
    dir="$work/perm_$case"
    mkdir -p "$dir"
    set_earlier small "$dir"
    [ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$dir"
    case $case in
      folder) chmod 555 "$dir" ;;
      file) chmod 444 "$dir/small_output_levels.csv" ;;
      directory) rm "$dir/small_output_shadowprices.csv" && mkdir "$dir/small_output_shadowprices.csv" &&
        cp "$work/small.earlier/small_output_shadowprices.csv" "$work/shadow_earlier" ;;
    esac
    listing=$(ls -l --time-style=full-iso "$dir")
    status=0
    (cd "$dir" && "${run_as[@]}" "$work/koru" --batch small_input.csv >"$work/console.txt" 2>&1) || status=$?
    [ "$status" -eq 1 ] && stopped=$((stopped + 1))
    unchanged=1
    for s in "${suffixes[@]}"; do
      [ "$case" = directory ] && [ "$s" = _output_shadowprices.csv ] && continue
      cmp -s "$dir/small$s" "$work/small.earlier/small$s" || unchanged=0
    done
    [ "$listing" = "$(ls -l --time-style=full-iso "$dir")" ] || unchanged=0
    if [ "$status" -eq 1 ] && [ "$unchanged" -eq 1 ] &&
      [ "$(tail -n 3 "$work/console.txt")" = "$(printf ' ERROR: unable to open an output file. \n\n Press ENTER to terminate.')" ]; then
      intact=$((intact + 1))
      echo "  $case: status 1, 'unable to open an output file', nothing changed"
    else
      problem "$case: status $status, unchanged $unchanged; console: $(tail -n 3 "$work/console.txt" | tr '\n' ' ')"
    fi
    chmod 755 "$dir"
  done
  row "permissions" "$injected" 0 "$stopped" "$intact"
else
  echo "  skipped: running as root without setpriv"
  row "permissions" skipped - - -
fi

# ---------------------------------------------------------------------------
echo
echo "fault runs (earlier results whole or expected results exact: must equal the faults injected)"
printf '%-22s %8s %9s %8s %14s\n' "fault" "injected" "finished" "stopped" "results right"
for line in "${table[@]}"; do echo "$line"; done
[ -n "$window" ] && echo "final renames: $window"
echo "fault runs took $SECONDS s"
if [ "$problems" -ne 0 ]; then
  echo "$problems fault runs went wrong"
  exit 1
fi
echo "every fault run left the earlier results whole or the expected results exact"
