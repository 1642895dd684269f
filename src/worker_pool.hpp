// The process-wide pool of worker threads and the batch driver's fork-join over an index
// range. No Python here: workers run only kernel code.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>

namespace qx {

// Scores the pairs [begin, end) of one batch; should return early once `cancelled` is set.
struct RangeScorer {
    void (*score)(void* context, size_t begin, size_t end, const std::atomic<bool>& cancelled);
    void* context;
};

// Called by the waiting thread every few milliseconds; returning true abandons the batch.
struct WaitPoll {
    bool (*poll)(void* context) = nullptr;
    void* context = nullptr;
};

class WorkerPool {
  public:
    // The pool of this process, created on first use (and again in a forked child).
    static WorkerPool& instance();

    size_t threads() const { return threads_; }

    // Scores [0, n) by recursive halving with a split budget of threads(); blocks until every
    // range is done. Returns false when `poll` asked to abandon the remaining ranges.
    bool run(size_t n, RangeScorer scorer, WaitPoll poll = {});

    struct State;  // queue, lock and condition of the pool (worker_pool.cpp)

  private:
    explicit WorkerPool(size_t requested);
    State* state_;
    size_t threads_ = 0;
};

// Parses an unsigned decimal count with an optional leading '+'; nullopt when invalid.
std::optional<size_t> parse_thread_count(std::string_view text);

// Pool size from RAYON_NUM_THREADS, RAYON_RS_NUM_CPUS and the online processor count.
size_t configured_thread_count();

}  // namespace qx
