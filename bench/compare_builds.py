#!/usr/bin/env python3
"""Checks that two koru builds give byte-identical results.

Each input file is copied under the same name into one directory per build,
and each build runs there (so the console shows the same file name); then the
four result files, the error log and the console output (standard output and
standard error) of the two runs must match byte for byte. KORU_STATS is
removed from the environment, so neither build adds its totals line.

Inputs: the files given on the command line, plus the generated benchmark
panels of run_bench.py for --bench-sizes (all families, returns to scale and
technologies of the benchmark; none with --bench-sizes ''). The exit status is
1 when any run differs, 0 when all agree.

Examples:
  bench/compare_builds.py --before /tmp/before/build/koru --after build/koru \\
      tests/data/crosscheck/*_input.csv examples/us_states_input.csv
  bench/compare_builds.py --before /tmp/before/build/koru --after build/koru --bench-sizes 500,1000,2500,5000
  bench/compare_builds.py --before /tmp/before/build/koru --after build/koru --after-options=--single-solve \\
      tests/data/e2e/*_input.csv
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_bench  # noqa: E402

SUFFIXES = ["_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv", "_output_xtras.csv",
            "_output_xxerrors.txt"]


def run(exe, input_path, run_dir, options=()):
    """Runs exe (with options before the file name) on a copy of input_path in
    run_dir; returns {what: bytes}."""
    if os.path.isdir(run_dir):
        shutil.rmtree(run_dir)
    os.makedirs(run_dir)
    name = os.path.basename(input_path)
    shutil.copyfile(input_path, os.path.join(run_dir, name))
    env = {k: v for k, v in os.environ.items() if k != "KORU_STATS"}
    done = subprocess.run([exe, *options, name], cwd=run_dir, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, env=env)
    base = name[:-len("_input.csv")]
    result = {"console (stdout)": done.stdout, "console (stderr)": done.stderr,
              "exit status": str(done.returncode).encode()}
    for suffix in SUFFIXES:
        path = os.path.join(run_dir, base + suffix)
        result[base + suffix] = open(path, "rb").read() if os.path.exists(path) else None
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--before", required=True, help="koru executable of the reference build")
    parser.add_argument("--after", required=True, help="koru executable of the changed build")
    parser.add_argument("--bench-sizes", default="500,1000", help="benchmark panel sizes to include ('' for none)")
    parser.add_argument("--families", default="FarePrimont,HicksMoorsteen,Fisher")
    parser.add_argument("--rts", default="VRS,CRS")
    parser.add_argument("--tech", default="change,nochange")
    parser.add_argument("--seed", type=int, default=8)
    parser.add_argument("--threads", default="",
                        help="comma-separated thread counts: the changed build runs once with --threads N for "
                             "each, and every run is compared with the reference build's")
    parser.add_argument("--after-options", default="",
                        help="options for every run of the changed build, e.g. '--single-solve'")
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "koru-compare"))
    parser.add_argument("inputs", nargs="*", help="further *_input.csv files")
    args = parser.parse_args()

    before, after = os.path.abspath(args.before), os.path.abspath(args.after)
    for exe in (before, after):
        if not os.access(exe, os.X_OK):
            sys.exit(f"not an executable: {exe}")
    os.makedirs(args.work, exist_ok=True)

    inputs = [os.path.abspath(p) for p in args.inputs]
    for size in [int(s) for s in args.bench_sizes.split(",") if s]:
        for family in [f for f in args.families.split(",") if f]:
            for rts in [r for r in args.rts.split(",") if r]:
                for tech in [t for t in args.tech.split(",") if t]:
                    name = run_bench.panel_name(size, family, rts, tech)
                    path = os.path.join(args.work, name + "_input.csv")
                    if not os.path.exists(path):
                        run_bench.write_panel(path, size, family, rts, tech, args.seed, 2, 3)
                    inputs.append(path)

    variants = [()] if not args.threads else [("--threads", t) for t in args.threads.split(",") if t]
    variants = [tuple(args.after_options.split()) + v for v in variants]
    differing = 0
    compared = 0
    for input_path in inputs:
        if not input_path.endswith("_input.csv"):
            sys.exit(f"not an input file name (must end in _input.csv): {input_path}")
        first = run(before, input_path, os.path.join(args.work, "before"))
        for options in variants:
            second = run(after, input_path, os.path.join(args.work, "after"), options)
            compared += 1
            bad = [what for what in first if first[what] != second[what]]
            missing = [what for what in first if first[what] is None]
            label = os.path.relpath(input_path) + (f" ({' '.join(options)})" if options else "")
            if bad:
                differing += 1
                print(f"DIFFERENT {label}: {', '.join(bad)}", flush=True)
            else:
                note = f" (not written: {', '.join(missing)})" if missing else ""
                print(f"identical {label}{note}", flush=True)
    print(f"{compared - differing} of {compared} runs identical")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
