// Micro-benchmark of the SIMD lane kernels (src/simd) against the scalar kernels, one thread:
// every name of a list scored against every name of the same list, the way a one-to-many
// search runs them (the choices packed once per lane width, each query streamed through every
// pack). Built and run by bench/bench_lanes.py, which also writes the name lists.
//
//   bench_lanes NAMES_FILE [REPEATS]
//
// Prints one tab-separated line per timing: measure, path (scalar kernel, or the lane kernels
// of an instruction set), lane width (all for the whole list), cells, best seconds of REPEATS.
// The lane results are compared with the scalar kernels' on every cell first; a difference
// ends the program with status 1.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "distance/jaro.hpp"
#include "distance/levenshtein.hpp"
#include "lcs_core.hpp"
#include "simd/pattern_pack.hpp"

namespace {

namespace simd = qx::simd;

struct Name {
    std::string utf8;
    std::vector<uint8_t> u8;
    std::vector<uint16_t> u16;
    std::vector<uint32_t> u32;
    uint8_t width = 1;
    size_t size = 0;

    qx::Text text() const {
        if (width == 1) return std::span<const uint8_t>(u8);
        if (width == 2) return std::span<const uint16_t>(u16);
        return std::span<const uint32_t>(u32);
    }
    simd::Units units() const {
        if (width == 1) return std::span<const uint8_t>(u8);
        if (width == 2) return std::span<const uint16_t>(u16);
        return std::span<const uint32_t>(u32);
    }
};

std::vector<uint32_t> decode(const std::string& s) {
    std::vector<uint32_t> out;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {  // well-formed UTF-8 (the names file is written by bench_lanes.py)
        const unsigned lead = *p++;
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int i = 0; i < extra && p < end; ++i) cp = (cp << 6) | (*p++ & 0x3F);
        out.push_back(cp);
    }
    return out;
}

// Each name held as the narrowest code units of its symbols (as the interpreter stores it).
std::vector<Name> read_names(const char* path) {
    std::ifstream in(path);
    std::vector<Name> names;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        Name n;
        n.utf8 = line;
        const auto cps = decode(line);
        n.size = cps.size();
        const uint32_t top = cps.empty() ? 0 : *std::max_element(cps.begin(), cps.end());
        n.width = top < 256 ? 1 : top < 65536 ? 2 : 4;
        for (uint32_t v : cps) {
            if (n.width == 1) n.u8.push_back(static_cast<uint8_t>(v));
            if (n.width == 2) n.u16.push_back(static_cast<uint16_t>(v));
            if (n.width == 4) n.u32.push_back(v);
        }
        names.push_back(std::move(n));
    }
    return names;
}

enum class Measure { lcs, levenshtein, jaro };
const char* measure_name(Measure m) {
    return m == Measure::lcs ? "lcs" : m == Measure::levenshtein ? "levenshtein" : "jaro";
}

// The Jaro value from the counts (the scalar kernel's early returns and formula): the lane
// timing includes it, as the scalar kernel's does.
double jaro_value(const simd::JaroCounts& c, size_t len1, size_t len2) {
    if (len1 == 0 || len2 == 0 || c.matches == 0) return 0.0;
    const double m = c.matches;
    const double x = m / static_cast<double>(len1);
    const double y = x + m / static_cast<double>(len2);
    const double z = (m - static_cast<double>(c.transpositions)) / m;
    return (y + z) / 3.0;
}

double scalar_cell(Measure m, const Name& q, const Name& c) {
    switch (m) {
        case Measure::lcs:
            return static_cast<double>(qx::lcs_length(q.text(), c.text()));
        case Measure::levenshtein:
            return static_cast<double>(qx::levenshtein(q.text(), c.text()));
        default:
            return qx::jaro_core(q.text(), c.text());
    }
}

struct Group {
    simd::LaneWidth width;
    std::vector<size_t> members;          // indices of the names in this group's packs
    std::vector<simd::PatternPack> packs;  // consecutive runs of members
};

// The names of at most 64 symbols grouped by the narrowest lane width that holds them.
std::vector<Group> make_groups(const std::vector<Name>& names) {
    std::vector<Group> groups;
    for (int w = 0; w < 4; ++w) groups.push_back({static_cast<simd::LaneWidth>(w), {}, {}});
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].size <= simd::kMaxPatternLength)
            groups[static_cast<size_t>(simd::lane_width_for(names[i].size))].members.push_back(i);
    for (Group& g : groups) {
        const size_t cap = simd::pack_capacity(g.width);
        for (size_t start = 0; start < g.members.size(); start += cap) {
            std::vector<simd::Units> units;
            for (size_t i = start; i < std::min(start + cap, g.members.size()); ++i)
                units.push_back(names[g.members[i]].units());
            g.packs.emplace_back(g.width, units);
        }
    }
    return groups;
}

// Scores every query against one group; out holds a row of values per query.
void score_group(Measure m, const std::vector<Name>& names, const Group& g,
                 const simd::LaneKernels& kernels, std::vector<double>& out) {
    uint64_t raw[64];
    simd::JaroCounts counts[64];
    const size_t cols = g.members.size();
    for (size_t qi = 0; qi < names.size(); ++qi) {
        const Name& q = names[qi];
        double* row = out.data() + qi * cols;
        size_t col = 0;
        for (const simd::PatternPack& pack : g.packs) {
            if (m == Measure::lcs) {
                simd::lcs_lengths(pack, q.units(), raw, kernels);
                for (size_t k = 0; k < pack.size(); ++k) row[col + k] = static_cast<double>(raw[k]);
            } else if (m == Measure::levenshtein) {
                simd::levenshtein_distances(pack, q.units(), raw, kernels);
                for (size_t k = 0; k < pack.size(); ++k) row[col + k] = static_cast<double>(raw[k]);
            } else {
                simd::jaro_counts(pack, q.units(), counts, kernels);
                for (size_t k = 0; k < pack.size(); ++k)
                    row[col + k] = jaro_value(counts[k], q.size, pack.length(k));
            }
            col += pack.size();
        }
    }
}

template <class F>
double best_seconds(int repeats, F f) {
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_lanes NAMES_FILE [REPEATS]\n");
        return 2;
    }
    const std::vector<Name> names = read_names(argv[1]);
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::vector<Group> groups = make_groups(names);
    const size_t n = names.size();

    std::vector<simd::Isa> isas;
    for (simd::Isa isa : {simd::Isa::scalar, simd::Isa::sse42, simd::Isa::avx2})
        if (simd::isa_supported(isa)) isas.push_back(isa);

    for (Measure m : {Measure::lcs, Measure::levenshtein, Measure::jaro}) {
        // Scalar kernel over every group's cells (equal bits expected from the lanes).
        std::vector<std::vector<double>> expected(groups.size());
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            const Group& g = groups[gi];
            auto& e = expected[gi];
            e.assign(n * g.members.size(), 0.0);
            const double seconds = best_seconds(repeats, [&] {
                for (size_t qi = 0; qi < n; ++qi)
                    for (size_t ci = 0; ci < g.members.size(); ++ci)
                        e[qi * g.members.size() + ci] = scalar_cell(m, names[qi], names[g.members[ci]]);
            });
            if (!g.members.empty())
                std::printf("%s\tscalar kernel\t%zu\t%zu\t%.6f\n", measure_name(m),
                            simd::lane_bits(g.width), n * g.members.size(), seconds);
        }
        for (simd::Isa isa : isas) {
            const auto& kernels = simd::lane_kernels(isa);
            for (size_t gi = 0; gi < groups.size(); ++gi) {
                const Group& g = groups[gi];
                if (g.members.empty()) continue;
                std::vector<double> got(n * g.members.size());
                const double seconds =
                    best_seconds(repeats, [&] { score_group(m, names, g, kernels, got); });
                if (got != expected[gi]) {
                    std::fprintf(stderr, "lane results differ from the scalar kernel (%s, %s)\n",
                                 measure_name(m), kernels.name);
                    return 1;
                }
                std::printf("%s\t%s lanes\t%zu\t%zu\t%.6f\n", measure_name(m), kernels.name,
                            simd::lane_bits(g.width), got.size(), seconds);
            }
        }
        std::fflush(stdout);
    }
    // Pack building, once per list and lane width.
    const double build = best_seconds(repeats, [&] { make_groups(names); });
    std::printf("build\tpacks\tall\t%zu\t%.6f\n", n, build);
    return 0;
}
