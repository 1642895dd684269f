// Interruption of long kernels. The batch scorer marks the thread while it runs a batch's kernels
// (InterruptScope); a long kernel calls poll_interrupt() once per row block or every few
// thousand cells of work, which throws Interrupted once that batch is being abandoned (Ctrl-C,
// a signal handler's exception, or a failure in another range). Outside a batch (the scalar
// frame) nothing is marked and polling costs one thread-local load. No Python here.
#pragma once

#include <atomic>
#include <cstddef>

namespace qx {

// Thrown by poll_interrupt(); caught by the batch scorer, whose range then simply stops.
// Kernels let it pass (their scratch memory is released by its owners on the way out).
struct Interrupted {};

namespace interrupt_detail {

struct StopFlags {
    const std::atomic<bool>* cancelled = nullptr;  // null outside a batch
    const std::atomic<bool>* failed = nullptr;
};

inline thread_local StopFlags tls_stop;

[[noreturn, gnu::cold, gnu::noinline]] inline void throw_interrupted() {
    throw Interrupted{};
}

}  // namespace interrupt_detail

// Throws Interrupted when the batch this thread works for is being abandoned.
inline void poll_interrupt() {
    const interrupt_detail::StopFlags& stop = interrupt_detail::tls_stop;
    if (stop.cancelled && (stop.cancelled->load(std::memory_order_relaxed) ||
                           stop.failed->load(std::memory_order_relaxed))) [[unlikely]]
        interrupt_detail::throw_interrupted();
}

// Counts units of work and polls once every kCells of them.
class PollBudget {
  public:
    static constexpr size_t kCells = size_t{1} << 16;

    void spend(size_t cells) {
        if (cells < left_) {
            left_ -= cells;
            return;
        }
        left_ = kCells;
        poll_interrupt();
    }

  private:
    size_t left_ = kCells;
};

// Marks the current thread as working for a batch with these stop flags while it lives.
class InterruptScope {
  public:
    InterruptScope(const std::atomic<bool>& cancelled, const std::atomic<bool>& failed)
        : previous_(interrupt_detail::tls_stop) {
        interrupt_detail::tls_stop = {&cancelled, &failed};
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
    ~InterruptScope() { interrupt_detail::tls_stop = previous_; }

  private:
    interrupt_detail::StopFlags previous_;
};

}  // namespace qx
