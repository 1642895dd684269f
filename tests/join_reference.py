"""The reference the join is checked against: every pair scored by the scalar function, and the
connected components of a list of pairs found by a plain graph search."""


def meets(scorer, score, cutoff):
    if score is None:
        return False
    return score <= cutoff if scorer.__name__.endswith("_distance") else score >= cutoff


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
    neighbours = [[] for _ in range(count)]
    for i, j in pairs:
        neighbours[i].append(j)
        neighbours[j].append(i)
    labels = [-1] * count
    for start in range(count):
        if labels[start] >= 0:
            continue
        labels[start] = start
        stack = [start]
        while stack:
            node = stack.pop()
            for other in neighbours[node]:
                if labels[other] < 0:
                    labels[other] = start
                    stack.append(other)
    return labels
