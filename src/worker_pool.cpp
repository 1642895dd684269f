#include "worker_pool.hpp"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>

namespace qx {

namespace {

// -1 for threads that are not pool workers (the Python threads that start batches).
thread_local int tls_worker_id = -1;

struct Batch {
    RangeScorer scorer;
    size_t threads;
    std::atomic<bool> cancelled{false};
};

struct Task {
    Batch* batch;
    size_t begin, end, budget;
    int creator;
    bool done = false;  // guarded by the pool mutex; the last access to a finished task
};

size_t hardware_parallelism() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<size_t>(n) : 1;
}

}  // namespace

struct WorkerPool::State {
    std::mutex mutex;
    std::condition_variable changed;  // a task was queued or finished
    std::deque<Task*> queue;

    void push(Task* t) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(t);
        }
        changed.notify_all();
    }

    void finish(Task* t) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            t->done = true;
        }
        changed.notify_all();
    }

    // Removes t from the queue if no thread has taken it yet.
    bool take_back(Task* t) {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = queue.rbegin(); it != queue.rend(); ++it) {
            if (*it == t) {
                queue.erase(std::next(it).base());
                return true;
            }
        }
        return false;
    }

    // Waits until t is done, running queued tasks meanwhile.
    void help_until_done(Task* t) {
        std::unique_lock<std::mutex> lock(mutex);
        while (!t->done) {
            if (!queue.empty()) {
                Task* other = queue.front();
                queue.pop_front();
                lock.unlock();
                execute(other);
                finish(other);
                lock.lock();
            } else {
                changed.wait(lock);
            }
        }
    }

    // Range task: split while the budget allows, else score sequentially.
    void execute(Task* t) {
        Batch* batch = t->batch;
        size_t len = t->end - t->begin;
        size_t budget = t->budget;
        bool split = false;
        if (len / 2 >= 1) {
            if (t->creator != tls_worker_id) {  // stolen: refresh the budget
                budget = std::max(budget / 2, batch->threads);
                split = true;
            } else if (budget != 0) {
                budget /= 2;
                split = true;
            }
        }
        if (!split) {
            if (!batch->cancelled.load(std::memory_order_relaxed))
                batch->scorer.score(batch->scorer.context, t->begin, t->end, batch->cancelled);
            return;
        }
        size_t mid = t->begin + len / 2;
        Task right{batch, mid, t->end, budget, tls_worker_id};
        Task left{batch, t->begin, mid, budget, tls_worker_id};
        push(&right);
        execute(&left);
        if (take_back(&right)) {
            execute(&right);
        } else {
            help_until_done(&right);
        }
    }

    void worker_loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            while (queue.empty()) changed.wait(lock);
            Task* t = queue.front();
            queue.pop_front();
            lock.unlock();
            execute(t);
            finish(t);
            lock.lock();
        }
    }
};

namespace {

struct WorkerStart {
    WorkerPool::State* state;  // NOLINT
    int id;
};

std::atomic<WorkerPool*> g_pool{nullptr};
alignas(std::mutex) unsigned char g_create_mutex_storage[sizeof(std::mutex)];
std::mutex* g_create_mutex = new (g_create_mutex_storage) std::mutex;

// A forked child has none of the parent's threads: forget the parent's pool (its memory is
// abandoned, its locks may be held) so that the child's first batch builds a new one.
void forget_pool_in_child() {
    g_pool.store(nullptr);
    g_create_mutex = new (g_create_mutex_storage) std::mutex;
}

}  // namespace

extern "C" {
static void* worker_main(void* arg) {
    WorkerStart start = *static_cast<WorkerStart*>(arg);
    delete static_cast<WorkerStart*>(arg);
    tls_worker_id = start.id;
    start.state->worker_loop();
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

size_t configured_thread_count() {
    if (const char* env = std::getenv("RAYON_NUM_THREADS")) {
        if (auto n = parse_thread_count(env)) return *n > 0 ? *n : hardware_parallelism();
    }
    if (const char* env = std::getenv("RAYON_RS_NUM_CPUS")) {
        if (auto n = parse_thread_count(env); n && *n > 0) return *n;
    }
    return hardware_parallelism();
}

WorkerPool::WorkerPool(size_t requested) : state_(new State) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 2 * 1024 * 1024);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    for (size_t i = 0; i < requested; ++i) {
        auto* start = new WorkerStart{state_, static_cast<int>(i)};
        pthread_t thread;
        if (pthread_create(&thread, &attr, worker_main, start) != 0) {
            delete start;  // out of threads: run with those we have
            break;
        }
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
        pool = new WorkerPool(configured_thread_count());
        g_pool.store(pool, std::memory_order_release);
    }
    return *pool;
}

namespace {

// Keeps the waiting thread's frame alive until its ranges are done. The interpreter ends a
// thread that asks for the lock during finalization by unwinding its stack from inside the
// poll; the ranges still running read and write that frame (and the batch's pairs and
// results further up), so they are abandoned and waited for before it goes away.
struct FinishBeforeLeaving {
    WorkerPool::State* state;
    Task* root;
    Batch* batch;

    ~FinishBeforeLeaving() {
        std::unique_lock<std::mutex> lock(state->mutex);
        if (root->done) return;
        batch->cancelled.store(true, std::memory_order_relaxed);
        while (!root->done) state->changed.wait(lock);
    }
};

}  // namespace

bool WorkerPool::run(size_t n, RangeScorer scorer, WaitPoll poll) {
    Batch batch{scorer, threads_ ? threads_ : 1};
    if (n / 2 < 1 || threads_ == 0) {
        // Not split: scored on the calling thread.
        if (n) scorer.score(scorer.context, 0, n, batch.cancelled);
        return true;
    }
    Task root{&batch, 0, n, threads_, tls_worker_id};
    state_->push(&root);
    FinishBeforeLeaving guard{state_, &root, &batch};
    std::unique_lock<std::mutex> lock(state_->mutex);
    while (!root.done) {
        // Once abandoned, only wait: polling again would run signal handlers while the
        // exception that abandoned the batch is still pending.
        if (poll.poll && !batch.cancelled.load(std::memory_order_relaxed)) {
            state_->changed.wait_for(lock, std::chrono::milliseconds(20));
            if (root.done) break;
            lock.unlock();
            bool abandon = poll.poll(poll.context);
            lock.lock();
            if (abandon) batch.cancelled.store(true, std::memory_order_relaxed);
        } else {
            state_->changed.wait(lock);
        }
    }
    return !batch.cancelled.load(std::memory_order_relaxed);
}

}  // namespace qx
