"""The functions in other processes: ProcessPoolExecutor under each start method and a Dask
cluster of two worker processes give what the functions give here."""

import concurrent.futures
import multiprocessing
import os

import dask.dataframe as dd
import pandas as pd
import pytest
from distributed import Client, LocalCluster

from quorvalex import distance, fuzz

pytestmark = pytest.mark.slow

PAIRS = [("new york mets", "new york meats"), ("kitten", "sitting"), ("", "abc"),
         ("Straße", "strasse"), ("日本語の文", "日本の文語"), ("a b c", "c b a")] * 4


def local(fn, **options):
    return [fn(a, b, **options) for a, b in PAIRS]


@pytest.mark.parametrize("method", ["spawn", "forkserver", "fork"])
@pytest.mark.filterwarnings("ignore:This process .* is multi-threaded:DeprecationWarning")
def test_process_pool_executor(method):
    context = multiprocessing.get_context(method)
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=context) as pool:
        scalar = list(pool.map(distance.levenshtein_distance, *zip(*PAIRS)))
        batch = pool.submit(fuzz.token_set_ratio_batch, PAIRS, score_cutoff=50).result()
        # Functions as arguments and results: pickled on the way there and back.
        echoed = pool.submit(list, [fuzz.ratio, distance.osa_distance]).result()
    assert scalar == local(distance.levenshtein_distance)
    assert batch == local(fuzz.token_set_ratio, score_cutoff=50)
    assert echoed[0] is fuzz.ratio and echoed[1] is distance.osa_distance


def test_dask_cluster_of_worker_processes():
    frame = pd.DataFrame({"a": [a for a, _ in PAIRS], "b": [b for _, b in PAIRS]})
    with (LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                       dashboard_address=None) as cluster,
          Client(cluster) as client):
        assert len(set(client.run(os.getpid).values()) - {os.getpid()}) == 2
        # As people write it: the lambda takes the child module `fuzz` along (cloudpickle).
        per_part = dd.from_pandas(frame, npartitions=4).map_partitions(
            lambda part: fuzz.ratio_batch(list(zip(part.a, part.b))), meta=("r", "object"))
        scalar = client.gather(client.map(fuzz.partial_ratio, *zip(*PAIRS)))
        assert [score for part in per_part.compute() for score in part] == local(fuzz.ratio)
    assert scalar == local(fuzz.partial_ratio)
