#include "join_driver.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "../interrupt.hpp"
#include "join_index.hpp"
#include "join_tokens.hpp"

namespace qx::join {

namespace {

// A candidate source behind one function pointer.
struct Source {
    void (*propose)(const void* source, size_t probe, std::vector<uint32_t>& out,
                    ProbeScratch& scratch);
    const void* source;

    template <class S>
    static Source of(const S& s) {
        return {[](const void* raw, size_t probe, std::vector<uint32_t>& out, ProbeScratch& scratch) {
                    static_cast<const S*>(raw)->candidates(probe, out, scratch);
                },
                &s};
    }
};

struct RunContext {
    const JoinRequest* request;
    bool lower_is_better;
    std::span<const Text> indexed;  // kernel texts of the indexed side
    Source source;
    std::atomic<bool> failed{false};
    std::atomic<bool> out_of_memory{false};
    std::atomic<uint64_t> candidates{0};
    std::mutex lock;
    std::vector<std::vector<JoinPair>> chunks;  // guarded by lock

    // The kernel's score of (a, b) when it meets the cutoff.
    bool verify(Text a, Text b, uint64_t& score) const {
        const JoinRequest& q = *request;
        const Row& row = *q.row;
        switch (row.result) {
            case ResultKind::Int: {
                const uint64_t v = row.int_kernel(a, b, q.options, q.int_cutoff);
                score = v;
                return lower_is_better ? v <= *q.int_cutoff : v >= *q.int_cutoff;
            }
            case ResultKind::Float: {
                const double v = row.float_kernel(a, b, q.options, q.float_cutoff);
                score = std::bit_cast<uint64_t>(v);
                return lower_is_better ? v <= *q.float_cutoff : v >= *q.float_cutoff;
            }
            case ResultKind::OptInt: {
                const std::optional<uint64_t> v = row.opt_int_kernel(a, b, q.options, q.int_cutoff);
                if (!v) return false;
                score = *v;
                return lower_is_better ? *v <= *q.int_cutoff : *v >= *q.int_cutoff;
            }
            case ResultKind::OptFloat: {
                const std::optional<double> v =
                    row.opt_float_kernel(a, b, q.options, q.float_cutoff);
                if (!v) return false;
                score = std::bit_cast<uint64_t>(*v);
                return lower_is_better ? *v <= *q.float_cutoff : *v >= *q.float_cutoff;
            }
        }
        return false;
    }

    static void score_range(void* raw, size_t begin, size_t end,
                            const std::atomic<bool>& cancelled) {
        auto* self = static_cast<RunContext*>(raw);
        InterruptScope scope(cancelled, self->failed);
        const JoinRequest& q = *self->request;
        try {
            ProbeScratch scratch;
            std::vector<uint32_t> proposed;
            std::vector<JoinPair> found;
            uint64_t scored = 0;
            for (size_t i = begin; i < end; ++i) {
                if (cancelled.load(std::memory_order_relaxed) ||
                    self->failed.load(std::memory_order_relaxed))
                    break;
                proposed.clear();
                self->source.propose(self->source.source, i, proposed, scratch);
                std::sort(proposed.begin(), proposed.end());
                proposed.erase(std::unique(proposed.begin(), proposed.end()), proposed.end());
                scored += proposed.size();
                const auto probe = static_cast<uint32_t>(i);
                for (uint32_t j : proposed) {
                    uint64_t score;
                    if (q.self) {
                        // Scored as (earlier, later), the order of the pair in the result.
                        const uint32_t first = std::min(j, probe), second = std::max(j, probe);
                        if (self->verify(q.left[first], q.left[second], score))
                            found.push_back({first, second, score});
                    } else if (self->verify(q.left[i], self->indexed[j], score)) {
                        found.push_back({probe, j, score});
                    }
                }
            }
            self->candidates.fetch_add(scored, std::memory_order_relaxed);
            if (!found.empty()) {
                std::lock_guard<std::mutex> guard(self->lock);
                self->chunks.push_back(std::move(found));
            }
        } catch (const Interrupted&) {
            // The join is being abandoned; this range just stops.
        } catch (const std::bad_alloc&) {
            self->out_of_memory.store(true);
            self->failed.store(true);
        } catch (...) {
            self->failed.store(true);
        }
    }
};

}  // namespace

JoinStatus run_join(const JoinRequest& request, JoinRunner runner, std::vector<JoinPair>& out,
                    JoinStats& stats) {
    try {
        out.clear();
        const bool int_cutoff = request.row->result == ResultKind::Int ||
                                request.row->result == ResultKind::OptInt;
        const double cutoff = int_cutoff ? static_cast<double>(*request.int_cutoff)
                                         : *request.float_cutoff;
        if (std::isnan(cutoff)) return JoinStatus::Done;  // no score meets a NaN cutoff
        const Measure measure = classify(*request.row, request.options, cutoff);
        const FilterKind kind = request.use_filter ? measure.filter() : FilterKind::None;
        stats = JoinStats{kind, 0, 0};

        const std::span<const Text> probe = request.left;
        const std::span<const Text> indexed = request.self ? request.left : request.right;

        // The texts the filter reads, when they are not the scored ones.
        CodePointTexts rebuilt;
        std::vector<Text> rebuilt_views;
        std::span<const Text> filter_probe = probe, filter_indexed = indexed;
        if (kind == FilterKind::EditPartition && measure.filter_text() == FilterText::SortedWords) {
            const size_t count = probe.size() + (request.self ? 0 : indexed.size());
            rebuilt_views.reserve(count);
            for (Text t : probe) rebuilt.add_sorted_words(t);
            if (!request.self)
                for (Text t : indexed) rebuilt.add_sorted_words(t);
            for (size_t k = 0; k < rebuilt.size(); ++k) rebuilt_views.push_back(rebuilt[k]);
            filter_probe = std::span<const Text>(rebuilt_views).first(probe.size());
            filter_indexed = request.self ? filter_probe
                                          : std::span<const Text>(rebuilt_views).subspan(probe.size());
        }

        std::unique_ptr<LengthBandSource> band;
        std::unique_ptr<EditPartitionIndex> partition;
        std::unique_ptr<TokenBags> bags;
        std::unique_ptr<TokenPrefixIndex> prefix;
        Source source{};
        switch (kind) {
            case FilterKind::EditPartition:
                partition = std::make_unique<EditPartitionIndex>(filter_probe, filter_indexed,
                                                                 request.self, measure);
                source = Source::of(*partition);
                break;
            case FilterKind::TokenPrefix:
                bags = std::make_unique<TokenBags>(
                    probe, request.self ? std::span<const Text>() : indexed,
                    measure.tokens == TokenMode::Ngrams ? measure.ngram_size : 0);
                prefix = std::make_unique<TokenPrefixIndex>(*bags, probe.size(), request.self,
                                                            measure);
                source = Source::of(*prefix);
                break;
            case FilterKind::LengthOnly:
            case FilterKind::None:
                band = std::make_unique<LengthBandSource>(filter_probe, filter_indexed,
                                                          request.self, measure);
                source = Source::of(*band);
                break;
        }

        RunContext context;
        context.request = &request;
        context.lower_is_better = measure.lower_is_better;
        context.indexed = indexed;
        context.source = source;
        if (!runner.run(runner.context, probe.size(), {&RunContext::score_range, &context}))
            return JoinStatus::Interrupted;
        if (context.out_of_memory.load()) return JoinStatus::OutOfMemory;
        if (context.failed.load()) return JoinStatus::Failed;
        stats.candidates = context.candidates.load();

        size_t total = 0;
        for (const auto& chunk : context.chunks) total += chunk.size();
        out.reserve(total);
        for (auto& chunk : context.chunks) {
            out.insert(out.end(), chunk.begin(), chunk.end());
            std::vector<JoinPair>().swap(chunk);
        }
        std::sort(out.begin(), out.end(), [](const JoinPair& a, const JoinPair& b) {
            return a.left != b.left ? a.left < b.left : a.right < b.right;
        });
        stats.pairs = out.size();
        return JoinStatus::Done;
    } catch (const std::bad_alloc&) {
        return JoinStatus::OutOfMemory;
    } catch (const std::length_error&) {
        return JoinStatus::OutOfMemory;
    }
}

}  // namespace qx::join
