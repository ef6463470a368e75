"""KORU from Python: a panel of firms in a pandas DataFrame in, productivity
indexes and their decomposition out, as DataFrames at full precision.

    >>> import koru
    >>> data, settings = koru.read_input("examples/us_states_input.csv")
    >>> settings["family"] = "hicks-moorsteen"
    >>> res = koru.analyze(data, **settings)
    >>> res.indexes["dTFP"].groupby(level="period").mean()   # doctest: +SKIP

The numbers are the engine's, the same as the console program's; the console
program's result files are the same numbers rounded, and ``res.write(base)``
writes them byte for byte.
"""

import operator
import os
import warnings

import numpy as np
import pandas as pd

from . import _dask, _koru
from ._koru import InputError, WriteError

__all__ = ["analyze", "read_input", "write_input", "Results", "InputError", "WriteError", "AccuracyWarning",
           "kMissing"]
# The engine's version, "3.2" of "KORU 3.2".
__version__ = _koru.version().rsplit(" ", 1)[-1]

#: The value the result files print where the engine could not compute one;
#: the DataFrames hold NaN there.
kMissing = _koru.kMissing

InputError.__module__ = WriteError.__module__ = "koru"
InputError.__doc__ = """A panel or setting the engine refuses (a ValueError); the message names the column and
the (firm, period) where one is involved, or is the console program's message for the same stop."""
WriteError.__doc__ = """A result, report or input file that could not be written whole (an OSError)."""


class AccuracyWarning(UserWarning):
    """Issued by analyze when the run ends with the console program's end-of-run warning: programs that
    stopped short or failed on badly scaled data (rescale the data or pass unit_means=True)."""


class Results:
    """What analyze computed.

    indexes, levels, shadow_prices, extras
        DataFrames indexed by (firm, period) with the data's labels, one row per observation the data hold
        (a (firm, period) pair without a row is absent: in no reference set and in no table), one float64
        column per column of the result file, named by its heading; NaN where the file prints -9999 or
        nothing. levels also has the bool column "max": the observation attains the largest TFP of its
        period.
    malmquist
        with malmquist=True, the DataFrame of name_output_malmquist.csv (the four distances of each
        orientation, M, EC, TC and, unless rts is "crs", the constant-returns ones, PEC and SEC), indexed
        like indexes; NaN in the first period and where a value is missing (also where the observation
        lies outside the other period's technology; malmquist_outside counts those distances). None
        without it.
    bootstrap
        with bootstrap=B, the DataFrame of name_output_bootstrap.csv, indexed like indexes: for each
        measure NAME bootstrapped (OTE, ITE and, with malmquist=True, M_O, EC_O, TC_O, M_I, EC_I, TC_I) the
        estimate NAME, the bias-corrected estimate NAME_bc, the bias NAME_bias, the standard error NAME_se,
        the ends NAME_lo and NAME_hi of the 1 - alpha interval and the replicates used NAME_n; NaN where a
        value is missing. bootstrap_failed counts the replicate programs that failed (their values are
        left out). None without it.
    representative
        the representative observation's values in the extras file (Fare-Primont), name -> array.
    peers, targets
        with peers=True (None otherwise): peers has one row per observation, orientation and peer, with
        the columns firm, period, orientation ("output" or "input"), peer_firm, peer_period, lambda (the
        first stage's weight: the dual value of the peer's row in the observation's DOttt or DIttt
        program) and lambda2 (the second stage's: the envelopment program at that distance maximising the
        slacks, each divided by the observation's own quantity); targets has one row per observation and
        orientation with firm, period, orientation, then slack_NAME and target_NAME for every output and
        input NAME. NaN where a program failed.
    failed, stopped_short
        DataFrames of the programs that failed (firm, period, program, code) and of those that stopped
        short of the optimum (firm, period, program, gain).
    note
        the notes on absent observations, on programs solved again on a rescaled copy and on Malmquist
        distances outside the other period's technology, or None.
    warning
        the end-of-run warning text, or None.
    """

    def __init__(self, engine_results, firm_labels, period_labels, firm, period, outputs=None, inputs=None):
        self._engine = engine_results
        firms = len(firm_labels)
        periods = len(period_labels)
        # Observations run period by period and, within a period, firm by firm.
        index = pd.MultiIndex.from_arrays(
            [firm_labels.take(np.tile(np.arange(firms), periods)),
             period_labels.take(np.repeat(np.arange(periods), firms))], names=[firm, period])
        present = engine_results.present
        self.indexes = self._table("indexes", index)[present]
        self.levels = self._table("levels", index)
        self.levels["max"] = engine_results.at_max_tfp
        self.levels = self.levels[present]
        self.shadow_prices = self._table("shadow_prices", index)[present]
        self.extras = self._table("extras", index)[present]
        self.malmquist = (self._table("malmquist", index)[present] if engine_results.settings["malmquist"]
                          else None)
        self.malmquist_outside = engine_results.malmquist_outside
        self.bootstrap = (self._table("bootstrap", index)[present] if engine_results.settings["bootstrap"]
                          else None)
        self.bootstrap_failed = engine_results.bootstrap_failed
        self.representative = {name: values for name, values in engine_results.representative}
        self.failed = self._notes(engine_results.failed, index, firm, period, "code")
        self.stopped_short = self._notes(engine_results.stopped_short, index, firm, period, "gain")
        self.note = engine_results.note or None
        self.warning = engine_results.warning or None
        self.peers = self.targets = None
        if engine_results.peers_asked:
            self.peers, self.targets = self._peer_frames(firm_labels, period_labels, outputs, inputs)

    def _peer_frames(self, firm_labels, period_labels, outputs, inputs):
        firms = len(firm_labels)

        def labels(observations):
            positions = np.asarray(observations, dtype=np.int64) - 1
            return (pd.Series(firm_labels.take(positions % firms), dtype=object),
                    pd.Series(period_labels.take(positions // firms), dtype=object))

        columns, observation, orientation, peer, lam, lam2 = self._engine.peers
        firm, period = labels(observation)
        peer_firm, peer_period = labels(peer)
        peers = pd.DataFrame(dict(zip(columns, [firm, period, pd.Series(orientation, dtype=object), peer_firm,
                                                 peer_period, lam, lam2])))
        keys, observation, orientation, values = self._engine.targets
        firm, period = labels(observation)
        targets = pd.DataFrame(dict(zip(keys, [firm, period, pd.Series(orientation, dtype=object)])))
        headings = _koru.target_headings([str(n) for n in outputs], [str(n) for n in inputs])
        targets = pd.concat([targets, pd.DataFrame(values, columns=pd.Index(headings, dtype=object))], axis=1)
        return peers, targets

    def _table(self, which, index):
        _title, headings, values = self._engine.table(which)
        return pd.DataFrame(values, index=index, columns=pd.Index(headings, dtype=object), copy=False)

    @staticmethod
    def _notes(notes, index, firm, period, value):
        firms = [index[o - 1][0] if o > 0 else None for _, o, _ in notes]
        periods = [index[o - 1][1] if o > 0 else None for _, o, _ in notes]
        return pd.DataFrame({firm: pd.Series(firms, dtype=object), period: pd.Series(periods, dtype=object),
                             "program": pd.Series([label for label, _, _ in notes], dtype=object),
                             value: [v for _, _, v in notes]})

    def write(self, base):
        """Writes base_output_indexes.csv, _levels.csv, _shadowprices.csv, _xtras.csv and _xxerrors.txt
        (and _malmquist.csv with malmquist=True, _bootstrap.csv with bootstrap=B), byte for byte as the
        console program writes them for the same panel and settings.

        >>> data, settings = koru.read_input("examples/us_states_input.csv")   # doctest: +SKIP
        >>> koru.analyze(data, **settings).write("/tmp/us_states")             # doctest: +SKIP
        """
        self._engine.write(os.fspath(base))

    def report(self, path):
        """Writes the HTML report of the decomposition by period (the console program's --report page).

        >>> koru.analyze(data, **settings).report("/tmp/us_states_report.html")  # doctest: +SKIP
        """
        self._engine.report(os.fspath(path))


def _labels_and_codes(column, sort):
    codes, labels = pd.factorize(column, sort=sort)
    return pd.Index(labels), codes


def _row_description(data, row, firm, period):
    return f"{firm} '{data[firm].iloc[row]}' in {period} '{data[period].iloc[row]}'"


def _numeric(data, name, firm, period):
    """The column as float64; a value that is not a number is refused, naming the column and the row."""
    if name not in data.columns:
        raise InputError(f"the data have no column '{name}'")
    column = data[name]
    if isinstance(column, pd.DataFrame):
        raise InputError(f"the data have more than one column '{name}'")
    if pd.api.types.is_numeric_dtype(column.dtype) and not pd.api.types.is_bool_dtype(column.dtype):
        return column.to_numpy(dtype=np.float64, na_value=np.nan)
    converted = pd.to_numeric(column, errors="coerce")
    bad = np.flatnonzero((converted.isna() & column.notna()).to_numpy() | pd.api.types.is_bool_dtype(column.dtype))
    if len(bad) > 0:
        row = bad[0]
        raise InputError(f"column '{name}' is not numeric ({column.iloc[row]!r}) for "
                         f"{_row_description(data, row, firm, period)}")
    return converted.to_numpy(dtype=np.float64, na_value=np.nan)


def _names(names):
    if names is None:
        return []
    if isinstance(names, str):
        return [names]
    return list(names)


def _rows(data, firm, period, outputs, inputs, output_prices, input_prices, identifiers):
    """The rows as the engine takes them: firms in the order of their first appearance, periods sorted. A
    row whose every quantity is NaN is an absent observation, as is a (firm, period) pair without a row."""
    if not isinstance(data, pd.DataFrame):
        raise TypeError(f"data must be a pandas DataFrame, not {type(data).__name__}")
    if any(name not in data.columns and name in data.index.names for name in (firm, period)):
        data = data.reset_index()  # firm and period as levels of the index, as the result tables have them
    for name in (firm, period):
        if name not in data.columns:
            raise InputError(f"the data have no column '{name}'")
        missing = np.flatnonzero(data[name].isna().to_numpy())
        if len(missing) > 0:
            raise InputError(f"column '{name}' has no label in row {missing[0] + 1}")
    firm_labels, firm_codes = _labels_and_codes(data[firm], sort=False)
    period_labels, period_codes = _labels_and_codes(data[period], sort=True)

    def columns(names):
        return [(str(name), _numeric(data, name, firm, period)) for name in _names(names)]

    output_columns, input_columns = columns(outputs), columns(inputs)
    quantities = [values for _, values in output_columns + input_columns]
    keep = ~np.logical_and.reduce([np.isnan(values) for values in quantities]) if quantities else slice(None)

    def kept(named):
        return [(name, values[keep]) for name, values in named]

    rows = {
        "firm_labels": [str(label) for label in firm_labels],
        "period_labels": [str(label) for label in period_labels],
        "firm": firm_codes[keep].astype(np.uint32),
        "period": period_codes[keep].astype(np.uint32),
        "firm_column": str(firm),
        "period_column": str(period),
        "outputs": kept(output_columns),
        "inputs": kept(input_columns),
        "output_prices": kept(columns(output_prices)),
        "input_prices": kept(columns(input_prices)),
        "identifiers": None,
    }
    if identifiers is not None:
        first, second = identifiers["columns"]
        rows["identifiers"] = (_numeric(data, first, firm, period)[keep], _numeric(data, second, firm, period)[keep],
                               str(identifiers["heading"]))
    return rows, firm_labels, period_labels


def _observation(base, firm_labels, period_labels, firm, period):
    """The base (firm, period) pair as the observation number 1..NT, or 0 for None (the first observation)."""
    if base is None:
        return 0
    try:
        base_firm, base_period = base
    except (TypeError, ValueError):
        raise InputError(f"base must be a (firm, period) pair, not {base!r}") from None
    i = firm_labels.get_indexer([base_firm])[0]
    t = period_labels.get_indexer([base_period])[0]
    if i < 0 or t < 0:
        raise InputError(f"the base ({firm} '{base_firm}', {period} '{base_period}') is not in the panel: there is no "
                         + (f"{firm} '{base_firm}'" if i < 0 else f"{period} '{base_period}'"))
    return len(firm_labels) * t + i + 1


def _whole_number(value, name, largest):
    value = operator.index(value)
    if not 0 <= value <= largest:
        raise InputError(f"{name} must be a whole number from 0 to {largest}, not {value}")
    return value


def _options(family, rts, technology, window, base_observation, unit_means, single_solve, threads,
             malmquist=False, peers=False, bootstrap=0, seed=1, alpha=0.05):
    if threads is None:
        threads = 0
    else:
        threads = operator.index(threads)
        if threads < 1:
            raise InputError(f"threads must be a positive whole number or None, not {threads}")
    return {"family": family, "rts": rts, "technology": technology, "window": operator.index(window),
            "base": base_observation, "unit_means": bool(unit_means), "single_solve": bool(single_solve),
            "threads": threads, "malmquist": bool(malmquist), "peers": bool(peers),
            "bootstrap": _whole_number(bootstrap, "bootstrap", 2**32 - 1),
            "seed": _whole_number(seed, "seed", 2**64 - 1), "alpha": float(alpha), "bootstrap_in_parts": False}


def analyze(data, *, firm, period, outputs, inputs, output_prices=None, input_prices=None,
            family="fare-primont", rts="vrs", technology="each-period", window=1, base=None, unit_means=False,
            threads=None, progress=False, single_solve=False, identifiers=None, malmquist=False, peers=False,
            bootstrap=0, seed=1, alpha=0.05, client=None):
    """Measures and decomposes the productivity change of the panel in data.

    data: a DataFrame, one row per firm and period in any order (a pair without a row, or whose every
    quantity is NaN, is an absent observation: the note says how many); firm and period name its identifier
    columns (numbers or strings); outputs, inputs, output_prices, input_prices list the names of its
    quantity and price columns. Periods are taken in sorted order and firms in the order of their first
    appearance (the order of the reference observations can decide ties, so it is part of the result).

    family: "laspeyres", "paasche", "fisher", "lowe", "malmquist-hs", "malmquist-it", "hicks-moorsteen" or
    "fare-primont"; rts: "vrs", "crs", "nirs" (non-increasing) or "ndrs" (non-decreasing); technology: "each-period", "no-regress" or "no-change"; window:
    the periods in each period's reference set; base: the comparison observation of Lowe and Fare-Primont
    as a (firm, period) pair (None: the first observation); unit_means: rescale every quantity to a mean
    of 1 before solving; threads: worker threads (None: one per processor); progress: a progress line on
    standard error; single_solve: never solve a doubtful program again on a rescaled copy; malmquist: also
    the Malmquist index and its decomposition (Results.malmquist); peers: also the peers, slacks and
    targets (Results.peers, Results.targets).

    bootstrap: B > 0 replicates of the smoothed bootstrap of the efficiencies OTE and ITE (and, with
    malmquist=True, of the Malmquist indexes) under each period's own technology (window 1) or
    technology="no-change": bias-corrected estimates, standard errors and 1 - alpha intervals
    (Results.bootstrap); seed: the random streams' seed, the same values for any threads and any
    client. client: a dask.distributed.Client whose workers compute the replicates (each worker needs
    koru installed); the estimates are computed here, and the results are those of the run without it,
    bit for bit.

    identifiers: None, and the result files print the firm and period labels (their positions 1..N and
    1..T where the labels are not numbers), or {"columns": (name1, name2), "heading": "obs,id1,id2"}: two
    numeric columns of data that the files print instead, under that heading (read_input sets it so that
    write reproduces the console program's files).

    Returns Results. Raises InputError (a ValueError) for a panel or setting the engine refuses, and
    KeyboardInterrupt within a second of Ctrl-C. Issues AccuracyWarning with the end-of-run warning.

    >>> data, settings = koru.read_input("examples/us_states_input.csv")
    >>> res = koru.analyze(data, **dict(settings, family="hicks-moorsteen"))
    >>> res.indexes.loc[(1, 2), "dTFP"]   # doctest: +SKIP
    """
    rows, firm_labels, period_labels = _rows(data, firm, period, outputs, inputs, output_prices, input_prices,
                                             identifiers)
    options = _options(family, rts, technology, window,
                       _observation(base, firm_labels, period_labels, firm, period), unit_means, single_solve,
                       threads, malmquist, peers, bootstrap, seed, alpha)
    if client is not None and options["bootstrap"] > 0:
        engine_results = _koru.analyze(rows, dict(options, bootstrap_in_parts=True), bool(progress))
        _koru.add_bootstrap(engine_results, _dask.replicates_on(client, rows, options))
    else:
        engine_results = _koru.analyze(rows, options, bool(progress))
    results = Results(engine_results, firm_labels, period_labels, firm, period, _names(outputs), _names(inputs))
    if results.warning is not None:
        warnings.warn(results.warning, AccuracyWarning, stacklevel=2)
    return results


def _variable_names(path, outputs, inputs, prices):
    """The names the input file's header gives the outputs, inputs and prices (the fields after its third
    comma), with y1.., x1.., p1.., w1.. for a name that is missing, repeated or taken."""
    fallback = ([f"y{m}" for m in range(1, outputs + 1)] + [f"x{k}" for k in range(1, inputs + 1)]
                + ([f"p{m}" for m in range(1, outputs + 1)] + [f"w{k}" for k in range(1, inputs + 1)]
                   if prices else []))
    header = None
    with open(path, "rb") as file:
        lines = file.read().split(b"\n")
    lines[0] = lines[0].removeprefix(b"\xef\xbb\xbf")
    for number, line in enumerate(lines[:-1]):
        if line.startswith(b"end"):
            header = lines[number + 1]
            break
    if header is None:
        return fallback
    fields = [field.strip() for field in header.decode("utf-8", "replace").rstrip("\r").split(",")[3:]]
    fields += [""] * (len(fallback) - len(fields))
    taken = {"firm", "period", "id1", "id2"}
    names = [field if field and fields.count(field) == 1 and field not in taken else fallback[n]
             for n, field in enumerate(fields[:len(fallback)])]
    return names if len(set(names)) == len(names) else fallback


def read_input(path):
    """Reads a KORU input file as the console program does: returns (data, settings) such that
    analyze(data, **settings).write(base) writes the console program's files for that input.

    data has the columns "firm" and "period" (positions 1..N and 1..T), "id1" and "id2" (the file's
    identifier columns), then the outputs, inputs and prices named by the file's header; an absent
    observation (a row of -9999 in the file) has NaN for every quantity and price. settings holds
    every keyword of analyze the file decides, and identifiers naming "id1" and "id2".

    >>> data, settings = koru.read_input("examples/us_states_input.csv")
    >>> settings["outputs"], settings["inputs"]
    (['gsp'], ['pc', 'pcap', 'emp'])
    """
    panel, file_settings = _koru.read_input(os.fspath(path))
    outputs = panel["output_quantities"].shape[1]
    inputs = panel["input_quantities"].shape[1]
    prices = panel["output_prices"] is not None
    names = _variable_names(path, outputs, inputs, prices)
    firms, periods = panel["firms"], panel["periods"]
    columns = {
        "firm": np.tile(np.arange(1, firms + 1), periods),
        "period": np.repeat(np.arange(1, periods + 1), firms),
        "id1": panel["id1"],
        "id2": panel["id2"],
    }
    blocks = [panel["output_quantities"], panel["input_quantities"]]
    if prices:
        blocks += [panel["output_prices"], panel["input_prices"]]
    for name, values in zip(names, np.hstack(blocks).T):
        columns[name] = values
    data = pd.DataFrame(columns)
    # The rows of absent observations (every quantity -9999 in the file) hold NaN.
    data.loc[~panel["present"], names] = np.nan
    base = file_settings["base"]
    settings = {
        "firm": "firm",
        "period": "period",
        "outputs": names[:outputs],
        "inputs": names[outputs:outputs + inputs],
        "output_prices": names[outputs + inputs:2 * outputs + inputs] if prices else None,
        "input_prices": names[2 * outputs + inputs:] if prices else None,
        "family": file_settings["family"],
        "rts": file_settings["rts"],
        "technology": file_settings["technology"],
        "window": file_settings["window"],
        "base": ((base - 1) % firms + 1, (base - 1) // firms + 1),
        "unit_means": file_settings["unit_means"],
        "identifiers": {"columns": ("id1", "id2"), "heading": panel["heading"]},
    }
    return data, settings


def write_input(path, data, *, firm, period, outputs, inputs, output_prices=None, input_prices=None,
                family="fare-primont", rts="vrs", technology="each-period", window=1, base=None,
                unit_means=False, identifiers=None):
    """Writes the panel in data and these settings (the keywords of analyze) as a KORU input file for the
    console program. Values are written as the single-precision numbers the console program reads; an
    absent observation (no row, or NaN for every quantity) is written as a row of -9999.

    >>> data, settings = koru.read_input("examples/us_states_input.csv")
    >>> koru.write_input("/tmp/copy_input.csv", data, **settings)
    """
    rows, firm_labels, period_labels = _rows(data, firm, period, outputs, inputs, output_prices, input_prices,
                                             identifiers)
    options = _options(family, rts, technology, window,
                       _observation(base, firm_labels, period_labels, firm, period), unit_means, False, None)
    _koru.write_input(os.fspath(path), rows, options)
