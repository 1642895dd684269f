"""quorvalex.dask.join on a cluster of two worker processes gives the pairs of the local join,
with index labels, for a self-join and for two collections, broadcast or partition by partition."""

import random

import pytest

pd = pytest.importorskip("pandas")
dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

import quorvalex.dask as qdask  # noqa: E402
from quorvalex import _join, distance  # noqa: E402
from texts import mutate  # noqa: E402

pytestmark = pytest.mark.slow
JW = distance.jaro_winkler_similarity


def names(rng, n):
    base = ["".join(rng.choices("abcdef", k=rng.randint(3, 12))) for _ in range(n // 3)]
    return [mutate(rng, rng.choice(base), "abcdef", rng.randint(0, 2)) for _ in range(n)]


def local_pairs(left, right, **arguments):
    """The local join in label terms: {(left label, right label): score}."""
    li, ri, scores = _join.join(left, right, **arguments)
    other = left if right is None else right
    return {(left.index[i], other.index[j]): s for i, j, s in zip(li, ri, scores)}


@pytest.fixture(scope="module")
def client():
    with (distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                   dashboard_address=None) as cluster,
          distributed.Client(cluster) as c):
        yield c


@pytest.mark.parametrize("two_frames, broadcast, arguments", [
    (False, None, dict(scorer=distance.levenshtein_distance, score_cutoff=1)),
    (True, None, dict(scorer=JW, score_cutoff=0.9, prefix_weight=0.2)),
    (True, False, dict(scorer=JW, score_cutoff=0.9)),
])
def test_join_equals_the_local_join(client, two_frames, broadcast, arguments):
    rng = random.Random(2)
    if two_frames:
        left = pd.DataFrame({"name": names(rng, 200)}, index=range(1000, 1200))
        right = pd.DataFrame({"name": names(rng, 150)}, index=range(150))
        result = qdask.join(dd.from_pandas(left, npartitions=3),
                            dd.from_pandas(right, npartitions=2), left_on="name",
                            right_on="name", broadcast=broadcast, **arguments)
        expected = local_pairs(left.name, right.name, **arguments)
    else:
        series = pd.Series(names(rng, 300) + [None], index=[f"k{i}" for i in range(301)])
        result = dd.from_pandas(series, npartitions=4).pipe(qdask.join, **arguments)
        # Across partitions the earlier partition's label comes first, which is also the
        # smaller position in Dask's (sorted) order; each unordered pair appears once.
        expected = local_pairs(series.sort_index(), None, **arguments)
    meta, result = result.dtypes, result.compute()
    assert list(result.columns) == ["left", "right", "score"] and len(result) == len(expected)
    assert dict(result.dtypes) == dict(meta)  # string labels keep their index's string type
    assert dict(zip(zip(result.left, result.right), result.score)) == expected


def test_argument_errors_come_before_any_task():
    series = dd.from_pandas(pd.Series(["a", "b"]), npartitions=1)
    with pytest.raises(TypeError, match="score_cutoff is required"):
        qdask.join(series, score_cutoff=None)
    with pytest.raises(TypeError, match="name its column with left_on="):
        qdask.join(series.to_frame("x"), score_cutoff=1)
    with pytest.raises(TypeError, match="must be a Dask Series or DataFrame"):
        qdask.join(["a"], score_cutoff=1)
