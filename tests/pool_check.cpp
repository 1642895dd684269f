// WorkerPool::run, checked by test_stress.py (plain and under ThreadSanitizer): every index scored
// once whatever the pool size, worker limit and costs; abandoned runs leave no worker behind;
// runs from several threads. Prints "ok", or the first failure and exits 1.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "worker_pool.hpp"

namespace {

void fail(const char* what, size_t a = 0, size_t b = 0) {
    std::printf("FAILED: %s (%zu, %zu)\n", what, a, b);
    std::exit(1);
}

// Counts the scorings of each index and the threads that took part; index i costs about
// cost(i) steps of work.
struct Tally {
    explicit Tally(size_t n, size_t (*cost)(size_t, size_t) = nullptr)
        : n(n), cost(cost), times(n) {}
    size_t n;
    size_t (*cost)(size_t, size_t);
    std::vector<std::atomic<int>> times;
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> inside{0};  // scorers running now
    std::atomic<size_t> sink{0};

    static void score(void* raw, size_t begin, size_t end, const std::atomic<bool>& cancelled) {
        auto* self = static_cast<Tally*>(raw);
        self->inside.fetch_add(1);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->threads.insert(std::this_thread::get_id());
        }
        for (size_t i = begin; i < end && !cancelled.load(std::memory_order_relaxed); ++i) {
            size_t steps = self->cost ? self->cost(i, self->n) : 0, x = i;
            for (size_t k = 0; k < steps; ++k) x = x * 6364136223846793005u + 1;
            self->sink.fetch_add(x & 1, std::memory_order_relaxed);
            self->times[i].fetch_add(1, std::memory_order_relaxed);
        }
        self->inside.fetch_sub(1);
    }
    qx::RangeScorer scorer() { return {&Tally::score, this}; }

    void expect_each_once() {
        for (size_t i = 0; i < n; ++i)
            if (times[i].load() != 1) fail("index not scored exactly once", i, times[i].load());
    }
};

// Long enough that every allowed worker gets a share; the costly indices come first.
size_t falling_cost(size_t i, size_t n) { return 60000 * (n - i) / n; }

}  // namespace

int main() {
    qx::WorkerPool& pool = qx::WorkerPool::instance();
    size_t threads = pool.threads();

    for (size_t n : {0, 1, 2, 3, 17, 1000, 100000}) {
        for (size_t limit : {0, 1, 2, 3, 1000}) {
            Tally tally(n, n <= 1000 ? falling_cost : nullptr);
            if (!pool.run(n, tally.scorer(), {}, limit)) fail("run abandoned", n, limit);
            tally.expect_each_once();
            size_t allowed = limit ? std::min(limit, threads) : threads;
            // One index, or a pool of no threads: scored on the calling thread.
            if (tally.threads.size() > std::max<size_t>(allowed, 1))
                fail("more threads than the limit", tally.threads.size(), limit);
            if (n >= 2 && allowed && tally.threads.count(std::this_thread::get_id()))
                fail("the calling thread scored", n, limit);
        }
    }

    // Abandoned by the poll: run returns false and no scorer is still running.
    int polls = 0;
    Tally long_run(1 << 20, [](size_t, size_t) -> size_t { return 4000; });
    bool completed = pool.run(long_run.n, long_run.scorer(),
                              {[](void* raw) { return ++*static_cast<int*>(raw) >= 3; }, &polls});
    if (completed && threads) fail("abandoned run reported complete", polls);
    if (long_run.inside.load() != 0) fail("a scorer outlived its run", long_run.inside.load());
    for (size_t i = 0; i < long_run.n; ++i)
        if (long_run.times[i].load() > 1) fail("index scored twice", i);

    // Runs from several threads at once, each with its own worker limit.
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&pool, t] {
            for (int round = 0; round < 100; ++round) {
                Tally tally(1 + (round * 37 + t * 11) % 500);
                if (!pool.run(tally.n, tally.scorer(), {}, t)) fail("concurrent run", t);
                tally.expect_each_once();
            }
        });
    }
    for (std::thread& caller : callers) caller.join();

    std::printf("ok\n");
    return 0;
}
