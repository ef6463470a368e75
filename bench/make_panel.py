#!/usr/bin/env python3
"""Writes a deterministic benchmark panel as a KORU input file.

The panel is drawn from a seeded generator (Python's random.Random, whose
Mersenne Twister sequence is fixed across versions), so the same arguments
always give the same bytes:

  firm size     lognormal, spread about a factor 3 either way, persistent
                over the periods with a small yearly drift;
  inputs        size x a lognormal mix per input;
  outputs       efficiency x size^returns x a lognormal mix per output, with
                efficiency in (0.55, 1] and technical progress of about 1 %
                a period;
  prices        around 1 with a 15 % spread and a common yearly trend.

Every value is rounded to three decimals, which gives ties between firms; a
few firms also repeat another firm's row exactly, and about 2 % of the rows
have one output or one input that is 0 (never all outputs or all inputs of a
row, so the panel stays well posed). The values lie around 1, so no rescaling
is needed.

With --span the firm sizes span four orders of magnitude instead, as in
real panels of banks or regions: a tenth of the firms are giants (about 1000
times a unit), a fifth middling (about 1 to 30) and the rest small (about
0.01, some 1e-4 of the mean size). A tenth of the firms repeat another firm's
rows exactly, about 5 % of the rows have every output 0, and values keep four
significant digits (not three decimals) so that the small firms keep theirs.
These are the programs the solver's absolute tolerance gets wrong; with
--unitmeans the command section asks KORU to rescale the quantities to
unit means, which does not change that.

With --mix S each firm's output and input mix spreads by a log standard
deviation of S instead of 0.3. Panels of many outputs and inputs with a wide
mix (--outputs 20 --inputs 20 --mix 1) have most firms efficient and highly
degenerate distance programs, on which the simplex's first rule can turn in
a cycle or stall.

Usage: make_panel.py --firms 500 --periods 10 --family HicksMoorsteen
                     --rts VRS [--notechchange] [--span [--unitmeans]] [--seed 8]
                     [--outputs 2 --inputs 3 [--mix 0.3]] OUTPUT_input.csv
"""

import argparse
import math
import random
import sys

FAMILIES = ("Laspeyres", "Paasche", "Fisher", "Lowe", "Malmquist-hs", "Malmquist-it", "HicksMoorsteen",
            "FarePrimont")


def spanning_sizes(rng, firms):
    """Giants, middling and small firms: sizes from about 0.01 to 1000."""
    sizes = []
    for _ in range(firms):
        draw = rng.random()
        if draw < 0.1:
            sizes.append(1000.0 * math.exp(rng.gauss(0.0, 0.3)))
        elif draw < 0.3:
            sizes.append(math.exp(rng.uniform(0.0, 3.4)))
        else:
            sizes.append(0.01 * math.exp(rng.gauss(0.0, 0.4)))
    return sizes


def make_rows(firms, periods, outputs, inputs, seed, span=False, mix=0.3):
    rng = random.Random(seed)
    size = spanning_sizes(rng, firms) if span else [math.exp(rng.gauss(0.0, 0.55)) for _ in range(firms)]
    efficiency = [1.0 - 0.45 * rng.random() ** 2 for _ in range(firms)]
    returns = [0.85 + 0.25 * rng.random() for _ in range(firms)]
    input_mix = [[math.exp(rng.gauss(0.0, mix)) for _ in range(inputs)] for _ in range(firms)]
    output_mix = [[math.exp(rng.gauss(0.0, mix)) for _ in range(outputs)] for _ in range(firms)]
    # Firms that copy another firm's row in every period (exact ties).
    twin = {}
    for i in range(firms):
        if i > 0 and rng.random() < (0.1 if span else 0.01):
            twin[i] = rng.randrange(i)

    rows = []
    for t in range(periods):
        trend = 1.0 + 0.02 * t
        output_prices_t = [trend * math.exp(rng.gauss(0.0, 0.1)) for _ in range(outputs)]
        input_prices_t = [trend * math.exp(rng.gauss(0.0, 0.1)) for _ in range(inputs)]
        period_rows = []
        for i in range(firms):
            size[i] *= math.exp(rng.gauss(0.01, 0.05))
            eff = min(1.0, efficiency[i] * math.exp(rng.gauss(0.0, 0.05)))
            x = [size[i] * input_mix[i][k] * math.exp(rng.gauss(0.0, 0.1)) for k in range(inputs)]
            scale = eff * (1.01 ** t) * size[i] ** returns[i]
            y = [scale * output_mix[i][m] * math.exp(rng.gauss(0.0, 0.1)) for m in range(outputs)]
            p = [output_prices_t[m] * math.exp(rng.gauss(0.0, 0.15)) for m in range(outputs)]
            w = [input_prices_t[k] * math.exp(rng.gauss(0.0, 0.15)) for k in range(inputs)]
            draw = rng.random()
            if span and draw < 0.05:
                y = [0.0] * outputs
            elif draw < 0.01 and outputs > 1:
                y[rng.randrange(outputs)] = 0.0
            elif draw < 0.02 and inputs > 1:
                x[rng.randrange(inputs)] = 0.0
            values = y + x + p + w
            period_rows.append([float(f"{v:.4g}") for v in values] if span else [round(v, 3) for v in values])
        for i, j in twin.items():
            period_rows[i] = list(period_rows[j])
        rows.extend(period_rows)
    return rows


def header_line(outputs, inputs):
    names = ["obs", "firm", "year"] + [f"y{m + 1}" for m in range(outputs)] + [f"x{k + 1}" for k in range(inputs)]
    names += [f"p{m + 1}" for m in range(outputs)] + [f"w{k + 1}" for k in range(inputs)]
    return ",".join(names)


def data_lines(rows, firms):
    """One line per observation: row number, firm, year, the values."""
    return [",".join([str(o + 1), str(o % firms + 1), str(2001 + o // firms)] + [f"{v:g}" for v in values])
            for o, values in enumerate(rows)]


def write_input(path, firms, periods, outputs, inputs, family, rts, notechchange, seed, span=False,
                unitmeans=False, mix=0.3):
    """Writes the whole input file: command section, header, data rows."""
    rows = make_rows(firms, periods, outputs, inputs, seed, span, mix)
    lines = [f"Firms {firms}", f"Periods {periods}", f"Outputs {outputs}", f"Inputs {inputs}", "Prices", family, rts]
    if notechchange:
        lines.append("NoTechChange")
    if unitmeans:
        lines.append("UnitMeans")
    lines.append("end")
    lines.append(header_line(outputs, inputs))
    lines.extend(data_lines(rows, firms))
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("output", help="file to write; its name must end in _input.csv")
    parser.add_argument("--firms", type=int, required=True)
    parser.add_argument("--periods", type=int, required=True)
    parser.add_argument("--outputs", type=int, default=2)
    parser.add_argument("--inputs", type=int, default=3)
    parser.add_argument("--family", choices=FAMILIES, default="HicksMoorsteen")
    parser.add_argument("--rts", choices=("VRS", "CRS"), default="VRS")
    parser.add_argument("--notechchange", action="store_true")
    parser.add_argument("--span", action="store_true", help="firm sizes spanning four orders of magnitude")
    parser.add_argument("--unitmeans", action="store_true", help="add UnitMeans to the command section")
    parser.add_argument("--seed", type=int, default=8)
    parser.add_argument("--mix", type=float, default=0.3,
                        help="spread (log standard deviation) of each firm's output and input mix")
    args = parser.parse_args()
    if not args.output.endswith("_input.csv"):
        sys.exit("the output file name must end in _input.csv")
    write_input(args.output, args.firms, args.periods, args.outputs, args.inputs, args.family, args.rts,
                args.notechchange, args.seed, args.span, args.unitmeans, args.mix)


if __name__ == "__main__":
    main()
