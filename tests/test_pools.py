"""A Dask cluster of two worker processes gives what the functions give here (other start
methods and pickles in a fresh interpreter: test_pickle.py)."""

import os

import dask.dataframe as dd
import pandas as pd
import pytest
from distributed import Client, LocalCluster

from quorvalex import fuzz

pytestmark = pytest.mark.slow

PAIRS = [("new york mets", "new york meats"), ("kitten", "sitting"), ("", "abc"),
         ("Straße", "strasse"), ("日本語の文", "日本の文語"), ("a b c", "c b a")] * 4


def local(fn, **options):
    return [fn(a, b, **options) for a, b in PAIRS]


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
