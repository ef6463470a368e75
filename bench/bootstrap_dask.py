#!/usr/bin/env python3
"""Times the bootstrap's replicates in-process and spread over a dask.distributed LocalCluster, and prints
the cost of each range of replicates sent to the cluster.

The panel is make_panel.py's (seeded), read through koru.read_input; the cluster has two worker processes
of one thread each (the engine in each range on one thread), started before the clock runs. The runs:

  in-process      analyze(bootstrap=B, threads=2): estimates and replicates on two engine threads;
  Dask, 2 ranges  analyze(client=...): the estimates in-process on two threads, the replicates in two
                  ranges of B/2, one per worker;
  Dask, B/R       the same in ranges of R replicates.

Every run gives the same bytes (checked). The cost of a range is (time with B/R ranges - time with 2
ranges) / (B/R - 2): the scheduling, the transfer of its values and the estimates every range recomputes.

Usage: bootstrap_dask.py [--firms 20 --periods 5 --replicates 200 --range 10 --repeat 3]
(needs the koru package installed and python3-distributed).
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import distributed

import koru
from koru import _dask

HERE = Path(__file__).resolve().parent


def best_time(run, repeat):
    """The shortest wall time of repeat calls of run, and its last result."""
    best, result = float("inf"), None
    for _ in range(repeat):
        started = time.perf_counter()
        result = run()
        best = min(best, time.perf_counter() - started)
    return best, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--firms", type=int, default=20)
    parser.add_argument("--periods", type=int, default=5)
    parser.add_argument("--replicates", type=int, default=200)
    parser.add_argument("--range", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "panel_input.csv"
        subprocess.run([sys.executable, str(HERE / "make_panel.py"), "--firms", str(args.firms), "--periods",
                        str(args.periods), "--family", "FarePrimont", "--rts", "VRS", str(path)], check=True,
                       stdout=subprocess.DEVNULL)
        data, settings = koru.read_input(path)
        settings.update(bootstrap=args.replicates, seed=3)

        def in_process():
            return koru.analyze(data, **settings, threads=2)

        def on_cluster(client, split):
            # analyze with the client, its replicates in the ranges given.
            def run():
                chosen, _dask.ranges = _dask.ranges, lambda replicates, threads: split
                try:
                    return koru.analyze(data, **settings, threads=2, client=client)
                finally:
                    _dask.ranges = chosen
            return run

        def bootstrap_file(results, name):
            results.write(os.path.join(folder, name))
            return Path(folder, f"{name}_output_bootstrap.csv").read_bytes()

        alone, reference = best_time(in_process, args.repeat)
        half = args.replicates // 2
        two = [(0, half), (half, args.replicates - half)]
        many = [(first, min(args.range, args.replicates - first)) for first in range(0, args.replicates, args.range)]
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, distributed.Client(cluster) as client:
            coarse, coarse_result = best_time(on_cluster(client, two), args.repeat)
            fine, fine_result = best_time(on_cluster(client, many), args.repeat)
        expected = bootstrap_file(reference, "alone")
        assert bootstrap_file(coarse_result, "coarse") == expected and bootstrap_file(fine_result, "fine") == expected

    observations = args.firms * args.periods
    print(f"{observations} observations, B = {args.replicates}, best of {args.repeat}")
    print(f"in-process, 2 threads:          {alone:8.3f} s")
    print(f"Dask, 2 workers, 2 ranges:      {coarse:8.3f} s")
    print(f"Dask, 2 workers, {len(many)} ranges of {args.range}: {fine:8.3f} s")
    print(f"cost of a range: {(fine - coarse) / (len(many) - 2) * 1000:.1f} ms")


if __name__ == "__main__":
    main()
