#!/usr/bin/env python3
"""Times whole runs of the koru executable on generated benchmark panels.

For every panel size NT in --sizes (10 periods of NT/10 firms, 2 outputs,
3 inputs, prices; --periods, --outputs and --inputs change the shape, and
--variables V1,V2,.. gives one panel of V outputs and V inputs for each V),
every family in --families, returns to scale in --rts and
technology in --tech, the runner writes the panel with make_panel.py (once; it
is kept in --work) and runs each build given with --build on it, the builds
one after the other for the same input, so that a before/after pair is
measured side by side. Per run it reports:

  wall      elapsed seconds of the whole run (reading, six sets, writing)
  cpu       processor seconds of the run, user and system, from
            /usr/bin/time -v: on a machine shared with other jobs it varies
            less than the wall time
  peak MB   maximum resident set size, from /usr/bin/time -v
  programs  linear programs solved (simplx calls)
  pivots    simplex pivots, both phases
  updates   tableau elements written by those pivots
  threads   the worker threads of the run (--threads N, for each N of
            --threads; a build given with --build-old has no such option and
            runs on one)
  piv/s     pivots per wall second
  upd/s     updates per wall second: the arithmetic rate of the solver
  same      whether the run's console output and five result files are
            byte-identical to those of the first build (compare_builds.py
            checks the same without timing)

programs, pivots and updates come from the KORU_STATS line that koru writes to
standard error when the variable is set. A build without it (one from before
the counters existed) does the same arithmetic when its results are
byte-identical (see compare_builds.py), so its counts are taken from a build
that has them and marked with '*'.

This is a benchmark, not a test: nothing here passes or fails on time.

Examples:
  bench/run_bench.py --build after=build/koru --sizes 500,1000
  bench/run_bench.py --build-old before=/tmp/before/build/koru --build after=build/koru --threads 1,2 \\
      --sizes 2500,5000 --families HicksMoorsteen --rts VRS --tech nochange
  bench/run_bench.py --build before=/tmp/before/build/koru --build after=build/koru \\
      --sizes 5000 --families HicksMoorsteen --rts VRS --tech nochange
  bench/run_bench.py --build before=/tmp/before/build/koru --build after=build/koru --periods 3 --mix 1 \\
      --sizes 600 --variables 5,8,12,15,20 --families HicksMoorsteen --rts VRS --tech change
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_panel  # noqa: E402

TIME = "/usr/bin/time"
PERIODS = 10
STATS = re.compile(r"KORU_STATS programs=(\d+) pivots=(\d+) updates=(\d+)")


def panel_name(size, family, rts, tech, periods=PERIODS, outputs=2, inputs=3, mix=0.3):
    name = f"nt{size}_{family.lower().replace('-', '')}_{rts.lower()}_{tech}"
    if periods != PERIODS:
        name += f"_t{periods}"
    if (outputs, inputs) != (2, 3):
        name += f"_m{outputs}k{inputs}"
    if mix != 0.3:
        name += f"_mix{mix:g}"
    return name


def write_panel(path, size, family, rts, tech, seed, outputs, inputs, periods=PERIODS, mix=0.3):
    firms = size // periods
    if firms < 1 or firms * periods != size:
        sys.exit(f"size {size} is not a positive multiple of {periods} periods")
    make_panel.write_input(path, firms, periods, outputs, inputs, family, rts, tech == "nochange", seed, mix=mix)


OUTPUTS = ["_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv", "_output_xtras.csv",
           "_output_xxerrors.txt"]


def run_results(run_dir, name):
    """The console output and the five result files of the last run in run_dir."""
    base = name[:-len("_input.csv")]
    files = []
    for path in [os.path.join(run_dir, "console.txt")] + [os.path.join(run_dir, base + s) for s in OUTPUTS]:
        files.append(open(path, "rb").read() if os.path.exists(path) else None)
    return files


def run_once(exe, input_path, run_dir, options=()):
    """Runs exe (with options before the file name) on a copy of input_path in
    run_dir; returns a dict of figures."""
    os.makedirs(run_dir, exist_ok=True)
    name = os.path.basename(input_path)
    shutil.copyfile(input_path, os.path.join(run_dir, name))
    env = dict(os.environ, KORU_STATS="1")
    have_time = os.access(TIME, os.X_OK)
    with tempfile.TemporaryFile() as err, open(os.path.join(run_dir, "console.txt"), "wb") as console:
        command = ([TIME, "-v"] if have_time else []) + [exe, *options, name]
        start = time.perf_counter()
        child = subprocess.Popen(command, cwd=run_dir, stdin=subprocess.DEVNULL, stdout=console,
                                 stderr=err, env=env)
        _, status, _ = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        text = err.read().decode("utf-8", "replace")
    figures = {"wall": wall, "cpu": None, "peak_kb": None, "stats": None, "status": child.returncode,
               "results": run_results(run_dir, name)}
    if have_time:
        m = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (?:(\d+):)?(\d+):([\d.]+)", text)
        if m:
            figures["wall"] = int(m.group(1) or 0) * 3600 + int(m.group(2)) * 60 + float(m.group(3))
        user = re.search(r"User time \(seconds\): ([\d.]+)", text)
        system = re.search(r"System time \(seconds\): ([\d.]+)", text)
        if user and system:
            figures["cpu"] = float(user.group(1)) + float(system.group(1))
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
        if m:
            figures["peak_kb"] = int(m.group(1))
    m = STATS.search(text)
    if m:
        figures["stats"] = tuple(int(g) for g in m.groups())
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", action="append", default=[], metavar="LABEL=EXE",
                        help="a koru executable to time, with a label (repeat for before/after)")
    parser.add_argument("--build-old", action="append", default=[], metavar="LABEL=EXE",
                        help="an executable from before the --threads option: timed once, on one thread")
    parser.add_argument("--threads", default="",
                        help="comma-separated thread counts: each --build runs once with --threads N for each")
    parser.add_argument("--sizes", default="500,1000,2500,5000", help="observation counts NT (multiples of 10)")
    parser.add_argument("--families", default="FarePrimont,HicksMoorsteen,Fisher")
    parser.add_argument("--rts", default="VRS,CRS")
    parser.add_argument("--tech", default="change,nochange", help="change and/or nochange (NoTechChange)")
    parser.add_argument("--repeat", type=int, default=1, help="runs of each build per input (the fastest is kept)")
    parser.add_argument("--seed", type=int, default=8)
    parser.add_argument("--outputs", type=int, default=2)
    parser.add_argument("--inputs", type=int, default=3)
    parser.add_argument("--variables", default="",
                        help="comma-separated counts V: a panel with V outputs and V inputs for each "
                             "(instead of --outputs and --inputs)")
    parser.add_argument("--periods", type=int, default=PERIODS, help="periods of every panel")
    parser.add_argument("--mix", type=float, default=0.3,
                        help="spread of each firm's output and input mix (make_panel.py --mix)")
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "koru-bench"),
                        help="directory for the panels and the runs' files")
    parser.add_argument("--csv", help="also write the table as CSV to this file")
    args = parser.parse_args()

    counts = [t for t in args.threads.split(",") if t]
    builds = []  # (label, exe, options, threads shown)
    for given, old in [(g, True) for g in args.build_old] + [(g, False) for g in args.build]:
        label, _, exe = given.partition("=")
        if not exe:
            label, exe = os.path.basename(os.path.dirname(os.path.abspath(given))), given
        exe = os.path.abspath(exe)
        if not os.access(exe, os.X_OK):
            sys.exit(f"not an executable: {exe}")
        if old:
            builds.append((label, exe, (), "1"))
        elif counts:
            builds.extend((label, exe, ("--threads", n), n) for n in counts)
        else:
            builds.append((label, exe, (), "default"))
    if not builds:
        sys.exit("name at least one build (--build or --build-old)")
    if not os.access(TIME, os.X_OK):
        # wait4's maximum resident size of a child forked from Python includes Python's own pages,
        # so without /usr/bin/time no peak is reported.
        print(f"note: {TIME} is missing (Debian package 'time': apt-get install time); wall time is taken "
              "by this script and peak memory is not reported", file=sys.stderr)

    os.makedirs(args.work, exist_ok=True)
    header = ["NT", "M/K", "family", "rts", "tech", "build", "threads", "wall s", "cpu s", "peak MB", "programs", "pivots",
              "updates", "piv/s", "upd/s", "vs first", "same"]
    print(" | ".join(header))
    rows = []
    shapes = ([(int(v), int(v)) for v in args.variables.split(",") if v] if args.variables
              else [(args.outputs, args.inputs)])
    for size, (outputs, inputs) in [(s, shape) for s in [int(s) for s in args.sizes.split(",") if s]
                                    for shape in shapes]:
        for family in [f for f in args.families.split(",") if f]:
            for rts in [r for r in args.rts.split(",") if r]:
                for tech in [t for t in args.tech.split(",") if t]:
                    name = panel_name(size, family, rts, tech, args.periods, outputs, inputs, args.mix)
                    input_path = os.path.join(args.work, name + "_input.csv")
                    if not os.path.exists(input_path):
                        write_panel(input_path, size, family, rts, tech, args.seed, outputs, inputs, args.periods,
                                    args.mix)
                    results = {}
                    for _ in range(args.repeat):
                        for label, exe, options, shown in builds:
                            figures = run_once(exe, input_path, os.path.join(args.work, "run_" + label), options)
                            best = results.get((label, shown))
                            if best is None or figures["wall"] < best["wall"]:
                                results[(label, shown)] = figures
                    known = next((f["stats"] for f in results.values() if f["stats"]), None)
                    first = (builds[0][0], builds[0][3])
                    first_wall = results[first]["wall"]
                    first_results = results[first]["results"]
                    for label, _, _, shown in builds:
                        f = results[(label, shown)]
                        stats, mark = f["stats"], ""
                        if stats is None and known is not None:
                            stats, mark = known, "*"
                        programs, pivots, updates = stats if stats else (None, None, None)
                        rate = updates / f["wall"] if updates and f["wall"] > 0 else None
                        pivot_rate = pivots / f["wall"] if pivots and f["wall"] > 0 else None
                        row = [str(size), f"{outputs}/{inputs}", family, rts, tech, label, shown, f"{f['wall']:.2f}",
                               f"{f['cpu']:.2f}" if f["cpu"] is not None else "-",
                               f"{f['peak_kb'] / 1024:.1f}" if f["peak_kb"] is not None else "-",
                               f"{programs}{mark}" if programs is not None else "-",
                               f"{pivots}{mark}" if pivots is not None else "-",
                               f"{updates}{mark}" if updates is not None else "-",
                               f"{pivot_rate:.3g}" if pivot_rate else "-",
                               f"{rate:.3g}" if rate else "-",
                               f"{first_wall / f['wall']:.2f}x" if f["wall"] > 0 else "-",
                               "-" if (label, shown) == first else ("yes" if f["results"] == first_results else "NO")]
                        if f["status"] != 0:
                            row[5] += f" (exit {f['status']})"
                        print(" | ".join(row), flush=True)
                        rows.append(row)
    if args.csv:
        with open(args.csv, "w") as out:
            out.write(",".join(header) + "\n")
            for row in rows:
                out.write(",".join(row) + "\n")


if __name__ == "__main__":
    main()
