// The process-wide pool of worker threads and the fork-join over an index range that batch
// calls (and other many-pair calls) use. No Python here: workers run only kernel code.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>

namespace qx {

// Scores the indices [begin, end) of one run; should return early once `cancelled` is set.
// Each index is scored independently of the others (a run may score some indices twice, see
// WorkerPool::run), so results never depend on which thread scored what.
struct RangeScorer {
    void (*score)(void* context, size_t begin, size_t end, const std::atomic<bool>& cancelled);
    void* context;
};

// Called by the waiting thread every few milliseconds; returning true abandons the run.
struct WaitPoll {
    bool (*poll)(void* context) = nullptr;
    void* context = nullptr;
};

// Called once on the calling thread as soon as a run is posted, while workers may already
// score; returning false abandons the run. Lets the caller produce the run's inputs (the batch
// extracts its pairs) while the first ones are being scored.
struct RunFeed {
    bool (*feed)(void* context) = nullptr;
    void* context = nullptr;
};

// The most worker threads a pool starts, whatever the environment asks for. Oversubscribing
// is allowed (scheduling costs do not grow with the pool), but every thread holds a stack and
// a process id.
inline constexpr size_t kMaxPoolThreads = 1024;

// The pool size asked for, before the cap, and who asked.
struct PoolRequest {
    size_t threads = 0;
    const char* source = nullptr;  // the environment variable, or nullptr: the processor count
};

class WorkerPool {
  public:
    // The pool of this process, created on first use (and again in a forked child).
    static WorkerPool& instance();

    size_t threads() const { return threads_; }
    const PoolRequest& request() const { return request_; }

    // True for the first caller only, when the pool has fewer threads than were asked for
    // (above the cap, or the system would not start more).
    bool take_shortfall_notice();

    // Scores [0, n) on at most `max_workers` pool threads (0: any number of them); the calling
    // thread only waits and polls (a single index is scored on the spot when there is no poll
    // or no idle worker). Blocks until every index is scored and no worker refers to
    // the run any more. Returns false when `poll` asked to abandon the remaining indices.
    // Should the process fork inside `poll` (a signal handler calling fork), the child has
    // none of the parent's workers: there the run is scored again from the start on the
    // child's own pool, without touching any state the parent's workers may have locked.
    // A `feed` runs first (see RunFeed); a run it abandons returns false.
    bool run(size_t n, RangeScorer scorer, WaitPoll poll = {}, size_t max_workers = 0,
             RunFeed feed = {});

    struct State;  // the lock, the open runs and the idle workers (worker_pool.cpp)

  private:
    explicit WorkerPool(PoolRequest request) noexcept;
    State* state_ = nullptr;
    size_t threads_ = 0;
    PoolRequest request_;
    std::atomic<bool> shortfall_noticed_{false};
};

// Parses an unsigned decimal count with an optional leading '+'; nullopt when invalid.
std::optional<size_t> parse_thread_count(std::string_view text);

// Pool size from RAYON_NUM_THREADS, RAYON_RS_NUM_CPUS and the online processor count, before
// the cap.
PoolRequest configured_thread_count();

}  // namespace qx
