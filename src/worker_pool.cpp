#include "worker_pool.hpp"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>

namespace qx {

// Scheduling. A run is one job: an index range claimed in chunks through an atomic counter.
// Each claim takes a fixed share of what is left (guided self-scheduling), so early chunks are
// long and the last ones single indices: ranges of uneven cost still end close together, and a
// run needs O(workers * log n) claims. Idle workers sleep on condition variables of their own
// and are woken one by one, only when there is work for them: a worker that joins a job hands
// it on to at most two idle workers (a doubling chain instead of one thread waking them all),
// and stops when the job has no more unclaimed indices than workers. Every lock is held for
// O(1) steps per job, whatever the number of workers.

namespace {

// Set on the pool's own threads; a run started there is scored on the spot.
thread_local bool tls_is_worker = false;

// Counts the forks this process descends from (raised in the child). A run that sees it change
// while it polled is in a child forked from inside the poll.
std::atomic<unsigned> g_forks{0};

// How long the waiting thread sleeps between polls, at most.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// A claim takes at least 1 / (kShares * workers) of the indices left.
constexpr size_t kShares = 4;

size_t hardware_parallelism() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<size_t>(n) : 1;
}

struct Job {
    Job(RangeScorer scorer, size_t n, size_t max_workers)
        : scorer(scorer), n(n), parts(max_workers == 1 ? 1 : kShares * max_workers),
          max_workers(max_workers) {}

    const RangeScorer scorer;
    const size_t n;
    const size_t parts;        // a claim takes 1/parts of the indices left, at least one
    const size_t max_workers;  // at least 1
    std::atomic<size_t> cursor{0};  // the first index not claimed yet
    std::atomic<bool> cancelled{false};
    // Guarded by the pool's mutex.
    size_t workers = 0;  // workers on the job, or handed it and about to start
    bool open = true;    // listed: workers may still join
    Job* prev = nullptr;
    Job* next = nullptr;
    std::condition_variable finished;  // closed with no worker left; the owner waits here

    size_t unclaimed() const {
        size_t at = cursor.load(std::memory_order_relaxed);
        return at < n ? n - at : 0;
    }

    bool claim(size_t& begin, size_t& end) {
        size_t at = cursor.load(std::memory_order_relaxed);
        for (;;) {
            if (at >= n || cancelled.load(std::memory_order_relaxed)) return false;
            size_t size = std::max<size_t>(1, (n - at) / parts);
            if (cursor.compare_exchange_weak(at, at + size, std::memory_order_relaxed)) {
                begin = at;
                end = at + size;
                return true;
            }
        }
    }
};

struct Worker {
    WorkerPool::State* pool = nullptr;
    std::condition_variable wake;  // with the pool's mutex
    Job* handed = nullptr;         // guarded by the pool's mutex
    Worker* next_idle = nullptr;   // guarded by the pool's mutex
};

}  // namespace

struct WorkerPool::State {
    std::mutex mutex;
    Job* first_open = nullptr;  // jobs workers may join, oldest first
    Job* last_open = nullptr;
    Worker* idle = nullptr;     // sleeping workers, the last to sleep first
    Worker* workers = nullptr;  // one per thread, for the life of the process

    // The functions below are called with `mutex` held.

    void open(Job* job) {
        job->prev = last_open;
        (last_open ? last_open->next : first_open) = job;
        last_open = job;
    }

    // No worker joins a closed job; its owner wakes once the last worker has left.
    void close(Job* job) {
        if (!job->open) return;
        job->open = false;
        (job->prev ? job->prev->next : first_open) = job->next;
        (job->next ? job->next->prev : last_open) = job->prev;
        if (job->workers == 0) job->finished.notify_one();
    }

    bool wants_worker(const Job* job) const {
        return job->open && job->workers < job->max_workers &&
               job->unclaimed() > job->workers && !job->cancelled.load(std::memory_order_relaxed);
    }

    // Hands `job` to at most two sleeping workers; they are woken after the mutex is released.
    size_t recruit(Job* job, Worker* (&woken)[2]) {
        size_t count = 0;
        while (count < 2 && idle && wants_worker(job)) {
            Worker* worker = idle;
            idle = worker->next_idle;
            worker->handed = job;
            ++job->workers;
            woken[count++] = worker;
        }
        return count;
    }

    // The oldest open job with room for a worker; exhausted jobs met on the way are closed.
    Job* join_open() {
        for (Job* job = first_open; job;) {
            Job* next = job->next;
            if (job->unclaimed() == 0 || job->cancelled.load(std::memory_order_relaxed)) {
                close(job);
            } else if (job->workers < job->max_workers) {
                ++job->workers;
                return job;
            }
            job = next;
        }
        return nullptr;
    }

    // The worker stopped claiming: nothing is left, or the run was abandoned.
    void leave(Job* job) {
        --job->workers;
        if (job->open) {
            close(job);
        } else if (job->workers == 0) {
            job->finished.notify_one();
        }
    }

    void worker_loop(Worker& self) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            Job* job = std::exchange(self.handed, nullptr);
            if (!job) job = join_open();
            if (!job) {
                self.next_idle = idle;
                idle = &self;
                while (!self.handed) self.wake.wait(lock);
                continue;
            }
            Worker* woken[2];
            size_t count = recruit(job, woken);
            lock.unlock();
            for (size_t i = 0; i < count; ++i) woken[i]->wake.notify_one();
            size_t begin, end;
            while (job->claim(begin, end))
                job->scorer.score(job->scorer.context, begin, end, job->cancelled);
            lock.lock();
            leave(job);  // the owner may free the job once the mutex is released
        }
    }
};

namespace {

std::atomic<WorkerPool*> g_pool{nullptr};
alignas(std::mutex) unsigned char g_create_mutex_storage[sizeof(std::mutex)];
std::mutex* g_create_mutex = new (g_create_mutex_storage) std::mutex;

// A forked child has none of the parent's threads: forget the parent's pool (its memory is
// abandoned, its locks may be held) so that the child's first run builds a new one.
void forget_pool_in_child() {
    g_pool.store(nullptr);
    g_create_mutex = new (g_create_mutex_storage) std::mutex;
    g_forks.fetch_add(1);
}

// Scores [0, n) on the calling thread.
bool score_here(size_t n, RangeScorer scorer) {
    std::atomic<bool> never{false};
    if (n) scorer.score(scorer.context, 0, n, never);
    return true;
}

// Owns a job from its posting until no worker refers to it. Should the waiting thread be
// unwound from inside the poll (the interpreter ends a thread that asks for the lock during
// finalization), the workers still scoring read and write the caller's frame: the job is
// abandoned and its workers waited for before that frame goes away.
struct JobOwner {
    WorkerPool::State* state;
    Job* job;

    ~JobOwner() {
        if (!job) return;
        {
            std::unique_lock<std::mutex> lock(state->mutex);
            if (job->open || job->workers) {
                job->cancelled.store(true, std::memory_order_relaxed);
                state->close(job);
                while (job->workers) job->finished.wait(lock);
            }
        }
        delete job;
    }
};

}  // namespace

extern "C" {
static void* worker_main(void* arg) {
    auto* worker = static_cast<Worker*>(arg);
    tls_is_worker = true;
    worker->pool->worker_loop(*worker);
    return nullptr;
}
}

std::optional<size_t> parse_thread_count(std::string_view text) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    size_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        size_t digit = static_cast<size_t>(c - '0');
        if (value > (SIZE_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

PoolRequest configured_thread_count() {
    if (const char* env = std::getenv("RAYON_NUM_THREADS")) {
        if (auto n = parse_thread_count(env)) {
            if (*n == 0) return {hardware_parallelism(), nullptr};  // one per processor
            return {*n, "RAYON_NUM_THREADS"};
        }
    }
    if (const char* env = std::getenv("RAYON_RS_NUM_CPUS")) {
        if (auto n = parse_thread_count(env); n && *n > 0) return {*n, "RAYON_RS_NUM_CPUS"};
    }
    return {hardware_parallelism(), nullptr};
}

// Starts min(request, cap) threads, fewer if memory or the system runs short: a pool of no
// threads scores every run on the calling thread.
WorkerPool::WorkerPool(PoolRequest request) noexcept : request_(request) {
    size_t wanted = std::min(request.threads, kMaxPoolThreads);
    state_ = new (std::nothrow) State;
    if (!state_ || wanted == 0) return;
    state_->workers = new (std::nothrow) Worker[wanted];
    if (!state_->workers) return;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return;
    pthread_attr_setstacksize(&attr, 2 * 1024 * 1024);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    for (size_t i = 0; i < wanted; ++i) {
        Worker* worker = &state_->workers[i];
        worker->pool = state_;
        pthread_t thread;
        if (pthread_create(&thread, &attr, worker_main, worker) != 0) break;
        ++threads_;
    }
    pthread_attr_destroy(&attr);
}

WorkerPool& WorkerPool::instance() {
    WorkerPool* pool = g_pool.load(std::memory_order_acquire);
    if (pool) return *pool;
    static std::once_flag atfork_once;
    std::call_once(atfork_once, [] { pthread_atfork(nullptr, nullptr, forget_pool_in_child); });
    std::lock_guard<std::mutex> lock(*g_create_mutex);
    pool = g_pool.load(std::memory_order_acquire);
    if (!pool) {
        pool = new (std::nothrow) WorkerPool(configured_thread_count());
        if (!pool) {
            static WorkerPool no_threads(PoolRequest{});  // out of memory: try again next time
            return no_threads;
        }
        g_pool.store(pool, std::memory_order_release);
    }
    return *pool;
}

bool WorkerPool::take_shortfall_notice() {
    return threads_ < request_.threads && !shortfall_noticed_.exchange(true);
}

bool WorkerPool::run(size_t n, RangeScorer scorer, WaitPoll poll, size_t max_workers,
                     RunFeed feed) {
    size_t helpers = max_workers ? std::min(max_workers, threads_) : threads_;
    auto fed = [&feed] { return !feed.feed || feed.feed(feed.context); };
    // A lone index is handed to a worker only when the caller polls while it waits.
    if (n == 0 || (n == 1 && !poll.poll) || helpers == 0 || tls_is_worker)
        return fed() && score_here(n, scorer);
    Job* job = new (std::nothrow) Job(scorer, n, helpers);
    if (!job) return fed() && score_here(n, scorer);
    unsigned forks = g_forks.load(std::memory_order_relaxed);
    Worker* woken[2];
    size_t count;
    bool lone_here;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->open(job);
        count = state_->recruit(job, woken);
        // A lone index that finds no idle worker and other runs still open (the workers busy
        // with other threads' runs) is scored on the spot rather than wait behind them. (Workers
        // still starting, or ending their last chunks, join it soon enough.)
        lone_here = count == 0 && n == 1 && state_->first_open != job;
        if (lone_here) state_->close(job);
    }
    if (lone_here) {
        delete job;
        return fed() && score_here(n, scorer);
    }
    for (size_t i = 0; i < count; ++i) woken[i]->wake.notify_one();

    JobOwner owner{state_, job};
    if (!fed()) {
        job->cancelled.store(true, std::memory_order_relaxed);
        return false;  // the owner closes the job and waits for its workers
    }
    std::unique_lock<std::mutex> lock(state_->mutex);
    while (job->open || job->workers) {
        // Once abandoned, only wait: polling again would run signal handlers while the
        // exception that abandoned the run is still pending.
        if (!poll.poll || job->cancelled.load(std::memory_order_relaxed)) {
            job->finished.wait(lock);
            continue;
        }
        job->finished.wait_for(lock, kPollInterval);
        if (!job->open && !job->workers) break;
        lock.unlock();
        bool abandon = poll.poll(poll.context);
        if (g_forks.load(std::memory_order_relaxed) != forks) {
            // Forked inside the poll. The job, its workers and the pool's lock stayed with
            // the parent (a worker may have held the lock at the fork): leave them alone.
            owner.job = nullptr;
            return !abandon && instance().run(n, scorer, poll, max_workers);
        }
        lock.lock();
        if (abandon) {
            job->cancelled.store(true, std::memory_order_relaxed);
            state_->close(job);
        }
    }
    return !job->cancelled.load(std::memory_order_relaxed);
}

}  // namespace qx
