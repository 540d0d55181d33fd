"""The comparison of bench/vyrbin_bench.cpp: pickle.dumps and pickle.loads (protocol 5)
of the same million mixed values, best of five runs each, in milliseconds.
Run with /usr/bin/python3.11."""
import pickle
import time


def item(i):
    k = i % 5
    if k == 0:
        return i
    if k == 1:
        return i * 0.5
    if k == 2:
        return "item-%d" % (i % 1000)
    if k == 3:
        return "word%d" % (i % 1000)  # a word has no Python counterpart: an (interned) str
    return [i, "x"]


def best(f, runs=5):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times) * 1000


values = [item(i) for i in range(1000000)]
data = pickle.dumps(values, protocol=5)
print("pickle.dumps  %.1f ms (%d bytes)" % (best(lambda: pickle.dumps(values, protocol=5)), len(data)))
print("pickle.loads  %.1f ms" % best(lambda: pickle.loads(data)))
