"""The bootstrap's replicates spread over the workers of a dask.distributed Client.

analyze(..., bootstrap=B, client=client) computes the estimates in this process and leaves the replicates
0 .. B-1 to the workers, in contiguous ranges: as many ranges as twice the Dask threads of all workers
(client.nthreads()), at most B, their sizes differing by at most one. Every range recomputes the
estimates its smoothing starts from (one run of the efficiencies), so ranges are few; two per thread let
a fast worker take over from a slow one. Each range runs the engine on one thread unless analyze was
given threads=: the Dask threads are the parallelism, as many ranges at once as a worker has threads.

The workers call replicates() below, which pickles by reference (koru._dask.replicates): every worker
needs the koru package installed. The panel and settings travel as the plain dicts of lists and numpy
arrays analyze hands the engine, scattered to every worker once; each range comes back as a dict of
numpy arrays. Replicate b draws from its own random stream, so the ranges put together give the
in-process run's values bit for bit.
"""

from . import _koru

#: Ranges per Dask thread of the cluster.
RANGES_PER_THREAD = 2


def replicates(rows, options, first, count):
    """Runs on a worker: replicates first .. first + count - 1 of the bootstrap of the panel in rows under
    options (the engine releases the GIL while it works)."""
    return _koru.bootstrap_replicates(rows, options, first, count)


def ranges(replicate_count, threads):
    """0 .. replicate_count - 1 as contiguous (first, count) ranges, RANGES_PER_THREAD per thread and at
    most one per replicate, the earlier ranges one longer where they cannot all be alike."""
    parts = max(1, min(replicate_count, RANGES_PER_THREAD * max(1, threads)))
    size, longer = divmod(replicate_count, parts)
    result, first = [], 0
    for part in range(parts):
        count = size + (1 if part < longer else 0)
        result.append((first, count))
        first += count
    return result


def replicates_on(client, rows, options, split=None):
    """The parts of the bootstrap of rows under options computed by the client's workers, one task per
    range of split (default: ranges() for the cluster's threads)."""
    if split is None:
        split = ranges(options["bootstrap"], sum(client.nthreads().values()))
    worker_options = dict(options, threads=options["threads"] or 1, bootstrap_in_parts=False)
    [panel] = client.scatter([rows], broadcast=True)
    futures = [client.submit(replicates, panel, worker_options, first, count, pure=False) for first, count in split]
    # The futures and the scattered panel are released when they go out of scope; a run that ends in an
    # error or an interrupt also stops the ranges not yet done.
    try:
        return client.gather(futures)
    except BaseException:
        client.cancel(futures + [panel])
        raise
