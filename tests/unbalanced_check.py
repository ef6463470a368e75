#!/usr/bin/env python3
"""Checks a panel with absent observations against an independent solver.

A seeded balanced panel loses a few per cent of its rows at random, the first
periods of one firm (it enters late) and the last periods of another (it
leaves early). For every family, under variable and constant returns to
scale, each period alone, a window of two periods and no technical regress,
KORU runs on an input file whose absent rows hold -9999 and the checks are:
  - the result files hold one row per present observation, numbered
    N (t - 1) + i, and no row of an absent one;
  - OTE, ITE, OSE, ISE of every present observation equal the distances
    scipy's HiGHS computes in envelopment form over the present observations
    of its period's reference set;
  - for Malmquist-hs, DOsts and DItss against the previous period's present
    observations with the firm's previous observation as the comparison
    observation; when that one is absent, against the observation's own
    period with itself, as in the first period;
  - for Lowe, QHATt and XHATt with the mean prices of the present observations as weights;
  - for Fare-Primont, the representative observation is the mean of the
    present observations and DO000, DI000 are its distances against all of
    them;
  - under the chained families an observation whose previous observation is
    absent has every index number -9999;
  - a plain table of the same panel (absent rows left out, or with every
    quantity blank) through --table gives the same bytes.
Exits 77 (skipped) without numpy and scipy.

Usage: unbalanced_check.py KORU_EXECUTABLE
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile

try:
    import numpy as np
    from scipy.optimize import linprog
except ImportError:
    print("numpy or scipy missing")
    sys.exit(77)

N, T, M, K = 12, 5, 2, 2
MISSING = -9999.0
SUFFIXES = ["indexes.csv", "levels.csv", "shadowprices.csv", "xtras.csv", "xxerrors.txt"]


def make_panel(seed):
    rng = random.Random(seed)
    rows = {}
    for t in range(1, T + 1):
        for i in range(1, N + 1):
            size = 0.6 + 0.8 * rng.random()
            x = [round(size * (0.7 + 0.6 * rng.random()), 3) for _ in range(K)]
            eff = 0.6 + 0.4 * rng.random()
            y = [round(eff * size * (0.7 + 0.6 * rng.random()) * (1.01 ** t), 3) for _ in range(M)]
            p = [round(0.8 + 0.4 * rng.random(), 3) for _ in range(M)]
            w = [round(0.8 + 0.4 * rng.random(), 3) for _ in range(K)]
            rows[(i, t)] = (y, x, p, w)
    absent = {(3, 1), (3, 2), (7, 4), (7, 5)}  # firm 3 enters late, firm 7 leaves early
    others = [(i, t) for t in range(1, T + 1) for i in range(1, N + 1) if (i, t) not in absent and i not in (1, 3, 7)]
    absent |= set(rng.sample(others, 3))        # and a few rows at random
    return rows, absent


def f32(v):
    return float(np.float32(v))


def write_input(path, rows, absent, commands, prices):
    with open(path, "w") as f:
        f.write("Firms %d\nPeriods %d\nOutputs %d\nInputs %d\n" % (N, T, M, K))
        if prices:
            f.write("Prices\n")
        f.write("".join(c + "\n" for c in commands) + "End\n")
        f.write("obs,firm,year," + ",".join(["y1", "y2", "x1", "x2"] + (["p1", "p2", "w1", "w2"] if prices else [])) + "\n")
        for t in range(1, T + 1):
            for i in range(1, N + 1):
                y, x, p, w = rows[(i, t)]
                values = y + x + (p + w if prices else [])
                if (i, t) in absent:
                    values = [MISSING] * len(values)
                f.write(",".join(str(v) for v in [N * (t - 1) + i, i, 2000 + t] + values) + "\n")


def write_table(path, rows, absent, prices, blank_rows):
    with open(path, "w") as f:
        f.write('"firm";year;y1;y2;x1;x2' + (";p1;p2;w1;w2" if prices else "") + "\n")
        for t in range(1, T + 1):
            for i in range(1, N + 1):
                y, x, p, w = rows[(i, t)]
                values = [str(v) for v in y + x + (p + w if prices else [])]
                if (i, t) in absent:
                    if not blank_rows:
                        continue
                    values = [""] * len(values)
                f.write(";".join(['"%d"' % i, str(2000 + t)] + values) + "\n")


def reference_periods(t, window, regress, change):
    periods = list(range(1, window + 1)) if t <= window else list(range(t - window + 1, t + 1))
    if not regress:
        periods = list(range(1, periods[-1] + 1))
    if not change:
        periods = list(range(1, max(window, T) + 1))
    return [s for s in periods if s <= T]


def output_distance(Y, X, y, x, vrs):
    """1 / max theta: theta y <= Y lambda, X lambda <= x (sum lambda = 1 under VRS)."""
    J = Y.shape[0]
    c = np.zeros(J + 1)
    c[-1] = -1.0
    A = np.vstack([np.hstack([-Y.T, np.array(y).reshape(-1, 1)]), np.hstack([X.T, np.zeros((K, 1))])])
    b = np.concatenate([np.zeros(M), np.array(x)])
    eq = dict(A_eq=np.hstack([np.ones((1, J)), np.zeros((1, 1))]), b_eq=[1.0]) if vrs else {}
    r = linprog(c, A_ub=A, b_ub=b, bounds=[(0, None)] * (J + 1), method="highs", **eq)
    return 1.0 / r.x[-1] if r.status == 0 and r.x[-1] > 0 else None


def input_efficiency(Y, X, y, x, vrs):
    """min theta: X lambda <= theta x, Y lambda >= y (sum lambda = 1 under VRS)."""
    J = Y.shape[0]
    c = np.zeros(J + 1)
    c[-1] = 1.0
    A = np.vstack([np.hstack([X.T, -np.array(x).reshape(-1, 1)]), np.hstack([-Y.T, np.zeros((M, 1))])])
    b = np.concatenate([np.zeros(K), -np.array(y)])
    eq = dict(A_eq=np.hstack([np.ones((1, J)), np.zeros((1, 1))]), b_eq=[1.0]) if vrs else {}
    r = linprog(c, A_ub=A, b_ub=b, bounds=[(0, None)] * (J + 1), method="highs", **eq)
    return r.x[-1] if r.status == 0 else None


def hat_programs(Y, X, y, x, p, w, vrs):
    """QHAT = max p.q: q <= Y lambda, X lambda <= x; XHAT = min w.x': Y lambda >= y, X lambda <= x'
    (sum lambda = 1 under VRS), in envelopment form."""
    J = Y.shape[0]
    eq = lambda extra: dict(A_eq=np.hstack([np.ones((1, J)), np.zeros((1, extra))]), b_eq=[1.0]) if vrs else {}
    q = linprog(np.concatenate([np.zeros(J), -np.array(p)]),
                A_ub=np.vstack([np.hstack([-Y.T, np.eye(M)]), np.hstack([X.T, np.zeros((K, M))])]),
                b_ub=np.concatenate([np.zeros(M), np.array(x)]), bounds=[(0, None)] * (J + M), method="highs", **eq(M))
    z = linprog(np.concatenate([np.zeros(J), np.array(w)]),
                A_ub=np.vstack([np.hstack([-Y.T, np.zeros((M, K))]), np.hstack([X.T, -np.eye(K)])]),
                b_ub=np.concatenate([-np.array(y), np.zeros(K)]), bounds=[(0, None)] * (J + K), method="highs",
                **eq(K))
    return (-q.fun if q.status == 0 else None), (z.fun if z.status == 0 else None)


def read_table(path, first_names):
    """The heading's names and the rows (obs -> list of fields) after the heading starting with first_names."""
    heading, rows = None, {}
    with open(path) as f:
        for line in f:
            fields = [s.strip() for s in line.rstrip("\n").split(",")]
            if heading is None:
                if fields[0] == first_names:
                    heading = fields
                continue
            if len(fields) < 3 or not fields[0].isdigit():
                break
            rows[int(fields[0])] = fields
    return heading, rows


class Checker:
    def __init__(self):
        self.failures = 0
        self.checks = 0

    def expect(self, ok, text):
        self.checks += 1
        if not ok:
            self.failures += 1
            if self.failures <= 40:
                print("FAIL " + text)

    def near(self, got, want, tol, text):
        self.expect(abs(got - want) <= tol * max(1.0, abs(want)), "%s: KORU %r, independent %r" % (text, got, want))


def run(koru, directory, args):
    return subprocess.run([koru, "--batch"] + args, cwd=directory, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300).returncode


def main():
    koru = os.path.abspath(sys.argv[1])
    rows, absent = make_panel(30)
    present = [(i, t) for t in range(1, T + 1) for i in range(1, N + 1) if (i, t) not in absent]
    obs = lambda i, t: N * (t - 1) + i
    data = {key: ([f32(v) for v in value[0]], [f32(v) for v in value[1]]) for key, value in rows.items()}
    check = Checker()
    work = tempfile.mkdtemp(prefix="koru-unbalanced-")
    families = [("FarePrimont", False, "fare-primont"), ("Malmquist-hs", False, "malmquist-hs"),
                ("HicksMoorsteen", False, "hicks-moorsteen"), ("Fisher", True, "fisher"), ("Lowe", True, "lowe")]
    technologies = [("each", [], 1, True, True, []), ("window2", ["Window 2"], 2, True, True, ["--window", "2"]),
                    ("noregress", ["NoTechRegress"], 1, False, True, ["--technology", "no-regress"])]
    for family, prices, token in families:
        for vrs in (True, False):
            for tech, commands, window, regress, change, table_options in technologies:
                name = "%s_%s_%s" % (token, "vrs" if vrs else "crs", tech)
                write_input(os.path.join(work, name + "_input.csv"), rows, absent,
                            [family] + ([] if vrs else ["CRS"]) + commands, prices)
                status = run(koru, work, [name + "_input.csv"])
                check.expect(status == 0, "%s: exit status %d" % (name, status))
                if status != 0:
                    continue

                # One row per present observation, in observation order.
                lv_heading, levels = read_table(os.path.join(work, name + "_output_levels.csv"), "obs")
                check.expect(sorted(levels) == sorted(obs(i, t) for i, t in present),
                             "%s: the levels rows are not those of the present observations" % name)
                col = {h: k for k, h in enumerate(lv_heading)}
                for i, t in present:
                    o = obs(i, t)
                    if o not in levels:
                        continue
                    ref = [(j, s) for s in reference_periods(t, window, regress, change) for j in range(1, N + 1)
                           if (j, s) in data and (j, s) not in absent]
                    Y = np.array([data[r][0] for r in ref])
                    X = np.array([data[r][1] for r in ref])
                    y, x = data[(i, t)]
                    d_vrs = output_distance(Y, X, y, x, vrs)
                    d_crs = output_distance(Y, X, y, x, False)
                    e_vrs = input_efficiency(Y, X, y, x, vrs)
                    e_crs = input_efficiency(Y, X, y, x, False)
                    row = levels[o]
                    label = "%s obs %d" % (name, o)
                    check.near(float(row[col["OTE"]]), d_vrs, 2e-4, label + " OTE")
                    check.near(float(row[col["ITE"]]), e_vrs, 2e-4, label + " ITE")
                    check.near(float(row[col["OSE"]]), d_crs / d_vrs, 2e-4, label + " OSE")
                    check.near(float(row[col["ISE"]]), e_crs / e_vrs, 2e-4, label + " ISE")

                xt_heading, extras = read_table(os.path.join(work, name + "_output_xtras.csv"), "obs")
                check.expect(sorted(extras) == sorted(obs(i, t) for i, t in present),
                             "%s: the extras rows are not those of the present observations" % name)
                xcol = {h: k for k, h in enumerate(xt_heading)}
                if family == "Malmquist-hs":
                    for i, t in present:
                        o = obs(i, t)
                        b = (i, t - 1) if t > 1 and (i, t - 1) not in absent else (i, t)
                        s = t - 1 if b != (i, t) else t  # period 1 and an entering firm: its own period
                        ref = [(j, q) for q in reference_periods(s, window, regress, change) for j in range(1, N + 1)
                               if (j, q) not in absent]
                        Y = np.array([data[r][0] for r in ref])
                        X = np.array([data[r][1] for r in ref])
                        for heading, value in (("DOsts", output_distance(Y, X, data[(i, t)][0], data[b][1], vrs)),
                                               ("DItss", None)):
                            if heading == "DItss":
                                theta = input_efficiency(Y, X, data[b][0], data[(i, t)][1], vrs)
                                value = None if theta is None else 1.0 / theta
                            printed = float(extras[o][xcol[heading]])
                            if value is not None and printed != MISSING:
                                check.near(printed, value, 1e-3, "%s obs %d %s" % (name, o, heading))
                if family == "Lowe":
                    # QHAT and XHAT with the mean prices of the present observations as weights.
                    prices = {key: ([f32(v) for v in value[2]], [f32(v) for v in value[3]]) for key, value in rows.items()}
                    p = np.mean([prices[r][0] for r in present], axis=0)
                    w = np.mean([prices[r][1] for r in present], axis=0)
                    for i, t in present:
                        o = obs(i, t)
                        ref = [(j, s) for s in reference_periods(t, window, regress, change) for j in range(1, N + 1)
                               if (j, s) not in absent]
                        qhat, xhat = hat_programs(np.array([data[r][0] for r in ref]), np.array([data[r][1] for r in ref]),
                                                  data[(i, t)][0], data[(i, t)][1], p, w, vrs)
                        check.near(float(extras[o][xcol["QHATt"]]), qhat, 1e-3, "%s obs %d QHATt" % (name, o))
                        check.near(float(extras[o][xcol["XHATt"]]), xhat, 1e-3, "%s obs %d XHATt" % (name, o))
                if family == "FarePrimont":
                    # The representative observation: the means of the present observations.
                    with open(os.path.join(work, name + "_output_xtras.csv")) as f:
                        block = {line.split(",")[0].strip(): [float(v) for v in line.split(",")[1:] if v.strip()]
                                 for line in f if line.split(",")[0].strip() in ("DO000", "DI000", "q0", "x0")}
                    q0 = np.mean([data[r][0] for r in present], axis=0)
                    x0 = np.mean([data[r][1] for r in present], axis=0)
                    for k in range(M):
                        check.near(block["q0"][k], q0[k], 1e-3, name + " q0")
                    for k in range(K):
                        check.near(block["x0"][k], x0[k], 1e-3, name + " x0")
                    Y = np.array([data[r][0] for r in present])
                    X = np.array([data[r][1] for r in present])
                    check.near(block["DO000"][0], output_distance(Y, X, q0, x0, vrs), 1e-3, name + " DO000")
                    check.near(block["DI000"][0], 1.0 / input_efficiency(Y, X, q0, x0, vrs), 1e-3, name + " DI000")

                # The chained families: no comparison observation, no index number.
                ix_heading, indexes = read_table(os.path.join(work, name + "_output_indexes.csv"), "obs")
                chained = family not in ("FarePrimont", "Lowe")
                for i, t in present:
                    o = obs(i, t)
                    if chained and t > 1 and (i, t - 1) in absent:
                        values = [float(v) for v in indexes[o][3:] if v]
                        check.expect(values and all(v == MISSING for v in values),
                                     "%s obs %d: index numbers without a comparison observation" % (name, o))
                    elif t > 1 or not chained:
                        values = [float(v) for v in indexes[o][3:] if v]
                        check.expect(values and values[0] != MISSING, "%s obs %d: dQ missing" % (name, o))

                # The same panel as a plain table: the same bytes.
                for blank_rows in (False, True):
                    table = "%s_table%d" % (name, blank_rows)
                    write_table(os.path.join(work, table + ".csv"), rows, absent, prices, blank_rows)
                    options = ["--table", table + ".csv", "--firm", "firm", "--period", "year", "--outputs", "y1,y2",
                               "--inputs", "x1,x2", "--family", token] + table_options
                    if prices:
                        options += ["--output-prices", "p1,p2", "--input-prices", "w1,w2"]
                    if not vrs:
                        options += ["--rts", "crs"]
                    status = run(koru, work, options)
                    check.expect(status == 0, "%s: --table exit status %d" % (table, status))
                    for suffix in SUFFIXES:
                        with open(os.path.join(work, name + "_output_" + suffix), "rb") as a, \
                                open(os.path.join(work, table + "_output_" + suffix), "rb") as b:
                            check.expect(a.read() == b.read(), "%s: %s differs from the input file's" % (table, suffix))
    shutil.rmtree(work)
    print("%d checks, %d failed" % (check.checks, check.failures))
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
