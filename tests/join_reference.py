"""The reference the join is checked against: every pair scored by the scalar function, and the
connected components of a list of pairs found by a plain graph search."""


def meets(scorer, score, cutoff):
    """Whether a score meets the cutoff (None: any score does); missing and NaN scores never."""
    if score is None or score != score:
        return False
    lower = scorer.__name__.endswith("_distance")
    return cutoff is None or (score <= cutoff if lower else score >= cutoff)


def every_pair(scorer, left, right, cutoff, **options):
    """(i, j, score) of every pair meeting the cutoff, in (i, j) order; right=None: i < j of left."""
    found = []
    for i, a in enumerate(left):
        others = range(i + 1, len(left)) if right is None else range(len(right))
        for j in others:
            b = left[j] if right is None else right[j]
            score = scorer(a, b, score_cutoff=cutoff, **options)
            if meets(scorer, score, cutoff):
                found.append((i, j, score))
    return found


def components(count, pairs):
    """Label of each node: the smallest node reachable from it."""
    parent = list(range(count))

    def root(i):
        while parent[i] != i:
            i = parent[i]
        return i

    for i, j in pairs:  # the smaller root becomes the root of both
        a, b = sorted((root(i), root(j)))
        parent[b] = a
    return [root(i) for i in range(count)]
