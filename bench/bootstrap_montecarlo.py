#!/usr/bin/env python3
"""A Monte Carlo of the smoothed bootstrap of OTE and ITE with a known frontier.

Each trial draws one period of --firms firms: input x uniform on [1, 10],
output y = sqrt(x) exp(-u) with u half-normal (|N(0, --sigma^2)|), so the
true output distance (OTE) is exp(-u) and the true input efficiency (ITE)
is exp(-2u) (the input that makes y on the frontier is y^2 = x exp(-2u)).
koru runs on it under variable returns to scale with --bootstrap B and the
trial's seed; the bootstrap file gives every firm's estimate, bias-corrected
estimate and 1 - alpha interval. Over all trials and firms the script prints

  coverage     the share of the intervals that hold the true value (nominal
               1 - alpha)
  bias         mean of (value - truth): the raw estimate and the
               bias-corrected one
  mean |err|   mean absolute error of each, and the median absolute error
  time         seconds per trial and per replicate (whole runs of koru)

and the same for the firms not at the edge of the data (neither the largest
output nor the smallest input nor on the estimated frontier): a firm at the
edge has replicates theta / t of its own pseudo point alone, whose spread
makes its correction and interval unreliable by the method.

With --malmquist each trial has two periods of the same firms, the frontier
of period 2 is 1.1 sqrt(x) (technical change 1.1 in the output orientation,
1.21 in the input one), u drawn afresh for each period and x for each period
independently, and koru runs with --malmquist: the script also prints the
figures of M, EC and TC of both orientations for the firms of period 2,
whose true values are M_O = 1.1 exp(u_s - u_t), EC_O = exp(u_s - u_t),
TC_O = 1.1, M_I = 1.21 exp(2 (u_s - u_t)), EC_I = exp(2 (u_s - u_t)),
TC_I = 1.21.

With --draw output the output is drawn uniformly on [1, sqrt(10)] (times
the shift in period 2) and the input follows as x = (y / shift)^2 exp(2u):
the same true values, but now the efficiency is independent of the output
(the input orientation's homogeneity) instead of the input (the output
orientation's), which the homogeneous bootstrap assumes.

The panels come from Python's seeded Mersenne Twister (--seed): the same
arguments give the same figures. This is a benchmark, not a test.

Example:
  bench/bootstrap_montecarlo.py --koru build/koru --trials 100 --replicates 200
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time


E = 2.718281828459045
SHIFT = 1.1  # the frontier of period 2 over that of period 1


def write_panel(path, rng, firms, sigma, periods=1, draw="input"):
    """Firms of every period, period by period; returns their x, y and u."""
    xs, ys, us = [], [], []
    for period in range(periods):
        shift = SHIFT if period == 1 else 1.0
        for _ in range(firms):
            u = abs(rng.gauss(0.0, sigma))
            if draw == "input":
                x = rng.uniform(1.0, 10.0)
                y = shift * x ** 0.5 * pow(E, -u)
            else:
                y = shift * rng.uniform(1.0, 10.0 ** 0.5)
                x = (y / shift) ** 2 * pow(E, 2.0 * u)
            xs.append(x)
            ys.append(y)
            us.append(u)
    with open(path, "w") as f:
        f.write("Firms %d\nPeriods %d\nOutputs 1\nInputs 1\nend\nobs,firm,period,y,x\n" % (firms, periods))
        for o in range(firms * periods):
            f.write("%d,%d,%d,%.9g,%.9g\n" % (o + 1, o % firms + 1, o // firms + 1, ys[o], xs[o]))
    return xs, ys, us


def malmquist_truth(us, firms):
    """The true indexes of the firms of period 2, by name."""
    truth = {name: [] for name in ("M_O", "EC_O", "TC_O", "M_I", "EC_I", "TC_I")}
    for i in range(firms):
        change = pow(E, us[i] - us[firms + i])
        truth["M_O"].append(SHIFT * change)
        truth["EC_O"].append(change)
        truth["TC_O"].append(SHIFT)
        truth["M_I"].append(SHIFT * SHIFT * change * change)
        truth["EC_I"].append(change * change)
        truth["TC_I"].append(SHIFT * SHIFT)
    return truth


def read_bootstrap(path):
    with open(path) as f:
        lines = f.read().splitlines()
    heading = [name.strip() for name in lines[3].split(",")]
    rows = []
    for line in lines[4:]:
        if line.strip():
            fields = [float(v) for v in line.split(",")]
            rows.append(dict(zip(heading, fields)))
    return rows


def summary(label, pairs):
    """pairs: (truth, estimate, corrected, lo, hi) per firm."""
    if not pairs:
        return "%-28s (none)" % label
    n = len(pairs)
    cover = sum(1 for t, e, c, lo, hi in pairs if lo <= t <= hi) / n
    bias_raw = sum(e - t for t, e, c, lo, hi in pairs) / n
    bias_bc = sum(c - t for t, e, c, lo, hi in pairs) / n
    err_raw = [abs(e - t) for t, e, c, lo, hi in pairs]
    err_bc = [abs(c - t) for t, e, c, lo, hi in pairs]
    return ("%-28s n %6d  coverage %.3f  bias raw %+.4f bc %+.4f  mean |err| raw %.4f bc %.4f"
            "  median |err| raw %.4f bc %.4f" % (label, n, cover, bias_raw, bias_bc, sum(err_raw) / n,
                                                 sum(err_bc) / n, statistics.median(err_raw),
                                                 statistics.median(err_bc)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--koru", default="build/koru")
    parser.add_argument("--trials", type=int, default=100)
    parser.add_argument("--replicates", type=int, default=200)
    parser.add_argument("--firms", type=int, default=100)
    parser.add_argument("--sigma", type=float, default=0.3)
    parser.add_argument("--alpha", type=float, default=0.05)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--malmquist", action="store_true", help="two periods and the Malmquist indexes too")
    parser.add_argument("--draw", choices=("input", "output"), default="input",
                        help="the quantity drawn uniformly; the other follows from it and u")
    args = parser.parse_args()
    koru = os.path.abspath(args.koru)
    rng = random.Random(args.seed)
    pairs = {"OTE": [], "ITE": []}
    inner = {"OTE": [], "ITE": []}
    indexes = {}
    seconds = 0.0
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "mc_input.csv")
        for trial in range(args.trials):
            xs, ys, us = write_panel(path, rng, args.firms, args.sigma, 2 if args.malmquist else 1, args.draw)
            xs, ys = xs[-args.firms:], ys[-args.firms:]
            truth_o = [pow(E, -u) for u in us[-args.firms:]]
            truth_i = [pow(E, -2.0 * u) for u in us[-args.firms:]]
            start = time.perf_counter()
            subprocess.run([koru, "--batch", "--threads", str(args.threads), "--bootstrap", str(args.replicates),
                            "--seed", str(trial + 1), "--alpha", str(args.alpha)] +
                           (["--malmquist"] if args.malmquist else []) + [path],
                           stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL, check=True)
            seconds += time.perf_counter() - start
            rows = read_bootstrap(os.path.join(work, "mc_output_bootstrap.csv"))[-args.firms:]
            if args.malmquist:
                for name, truth in malmquist_truth(us, args.firms).items():
                    for i, row in enumerate(rows):
                        if row[name + "_n"] > 0:
                            indexes.setdefault(name, []).append(
                                (truth[i], row[name], row[name + "_bc"], row[name + "_lo"], row[name + "_hi"]))
            edge = {max(range(args.firms), key=lambda i: ys[i]), min(range(args.firms), key=lambda i: xs[i])}
            for name, truth in (("OTE", truth_o), ("ITE", truth_i)):
                for i, row in enumerate(rows):
                    pair = (truth[i], row[name], row[name + "_bc"], row[name + "_lo"], row[name + "_hi"])
                    pairs[name].append(pair)
                    if i not in edge and row[name] < 0.99995:
                        inner[name].append(pair)
    print("%d trials of %d firms%s, B = %d, alpha = %g, sigma = %g, %d threads" %
          (args.trials, args.firms, " in two periods" if args.malmquist else "", args.replicates, args.alpha, args.sigma, args.threads))
    for name in ("OTE", "ITE"):
        print(summary(name + " all firms", pairs[name]))
        print(summary(name + " inside the data", inner[name]))
    for name, values in indexes.items():
        print(summary(name + " (period 2)", values))
    print("time: %.3f s per trial, %.2f ms per replicate (whole runs)" %
          (seconds / args.trials, 1000.0 * seconds / (args.trials * args.replicates)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
