// The similarity join: builds the candidate source a measure allows, proposes candidates probe
// by probe on the worker pool and keeps the pairs whose kernel score meets the cutoff. Nothing
// is held per candidate beyond the probe being scored. No Python here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../function_table.hpp"
#include "../worker_pool.hpp"
#include "join_measures.hpp"

namespace qx::join {

struct JoinRequest {
    const Row* row = nullptr;  // a scalar row
    Options options;
    IntCutoff int_cutoff;      // Int and OptInt rows
    FloatCutoff float_cutoff;  // Float and OptFloat rows
    std::span<const Text> left;
    std::span<const Text> right;  // ignored for a self-join
    bool self = false;
    bool use_filter = true;  // false: every pair the lengths allow is scored (tests, benchmarks)
};

// One pair that meets the cutoff: left < right in a self-join. `score` holds the uint64_t or
// the double the kernel returned, by the row's result kind.
struct JoinPair {
    uint32_t left;
    uint32_t right;
    uint64_t score;
};

struct JoinStats {
    FilterKind filter = FilterKind::None;
    uint64_t candidates = 0;  // pairs scored by the kernel
    uint64_t pairs = 0;       // pairs kept
};

enum class JoinStatus : uint8_t { Done, Interrupted, OutOfMemory, Failed };

// Runs [0, n) of `scorer` on the pool (e.g. with the interpreter lock released and signals
// polled); false when the run was abandoned.
struct JoinRunner {
    bool (*run)(void* context, size_t n, RangeScorer scorer);
    void* context;
};

// Every pair meeting the cutoff, sorted by (left, right).
JoinStatus run_join(const JoinRequest& request, JoinRunner runner, std::vector<JoinPair>& out,
                    JoinStats& stats);

}  // namespace qx::join
