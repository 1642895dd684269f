// Comparison helpers of the fuzz targets: a kernel result is compared, bit for bit, with its
// reference under a few cutoffs around the uncut value (one check per input, see take_check);
// a mismatch prints the texts and aborts, so that libFuzzer keeps the input.
#pragma once

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "input.hpp"
#include "reference.hpp"
#include "utf8_bridge.hpp"

namespace fuzzcheck {

using fuzzin::Pair;
using ref::FloatCut;
using ref::IntCut;
using ref::Seq;

inline std::string show(const Seq& s) {
    std::string out = "[";
    for (size_t i = 0; i < s.size(); ++i) {
        char buf[16];
        if (s[i] >= 0x20 && s[i] < 0x7F && s[i] != '\'')
            std::snprintf(buf, sizeof buf, "%c", static_cast<char>(s[i]));
        else
            std::snprintf(buf, sizeof buf, "<%X>", s[i]);
        out += buf;
    }
    return out + "] (" + std::to_string(s.size()) + " symbols)";
}

inline std::string show(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}
inline std::string show(uint64_t v) {
    return std::to_string(v);
}
template <class T>
std::string show(const std::optional<T>& v) {
    return v ? show(*v) : std::string("none");
}

[[noreturn]] inline void fail(const char* name, const Seq& a, const Seq& b,
                              const std::string& detail) {
    std::fprintf(stderr, "\nMISMATCH in %s\n  s1 = %s\n  s2 = %s\n  %s\n", name, show(a).c_str(),
                 show(b).c_str(), detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// Bit-identical, with every NaN equal to every NaN.
inline bool same(double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
    return x == y && std::signbit(x) == std::signbit(y);
}
inline bool same(uint64_t x, uint64_t y) {
    return x == y;
}
template <class T>
bool same(const std::optional<T>& x, const std::optional<T>& y) {
    if (!x || !y) return !x && !y;
    return same(*x, *y);
}

// Maps -0.0 to +0.0 where the sign of a zero is left open (ties in a maximum).
inline double unsigned_zero(double v) {
    return v == 0.0 ? 0.0 : v;
}
inline uint64_t unsigned_zero(uint64_t v) {
    return v;
}
template <class T>
std::optional<T> unsigned_zero(const std::optional<T>& v) {
    return v ? std::optional<T>(unsigned_zero(*v)) : v;
}

inline std::optional<uint64_t> value_of(uint64_t v) {
    return v;
}
inline std::optional<uint64_t> value_of(const std::optional<uint64_t>& v) {
    return v;
}
inline std::optional<double> value_of(double v) {
    return v;
}
inline std::optional<double> value_of(const std::optional<double>& v) {
    return v;
}

// Three cutoffs per check: none, one next to the uncut value v (below, at or above it) and one
// elsewhere (an extreme or a small fixed one), chosen by `pick`. Each input sees a different
// choice; over a campaign every pairing is met.
inline std::vector<IntCut> int_cutoffs(std::optional<uint64_t> v, uint8_t pick) {
    const uint64_t others[] = {0, std::numeric_limits<uint64_t>::max(), uint64_t{pick % 16u}};
    std::vector<IntCut> out = {std::nullopt};
    if (v) {
        const uint64_t near[] = {*v, *v + 1, *v ? *v - 1 : 0};
        out.push_back(near[pick % 3]);
    }
    out.push_back(others[(pick >> 2) % 3]);
    return out;
}

inline std::vector<FloatCut> float_cutoffs(std::optional<double> v, uint8_t pick, double scale) {
    static constexpr double kPicks[] = {0.25, 0.5, 0.75, 0.9, 0.3, 0.8, 0.95, 1e-9};
    static constexpr double kOthers[] = {0.0, -0.5, 1.0, 1.5, -INFINITY, 1.0};
    std::vector<FloatCut> out = {std::nullopt};
    if (v && !std::isnan(*v)) {
        const double near[] = {*v, std::nextafter(*v, -INFINITY), std::nextafter(*v, INFINITY)};
        out.push_back(near[pick % 3]);
    }
    switch ((pick >> 2) % 3) {
        case 0:
            out.push_back(std::nan(""));
            break;
        case 1:
            out.push_back(kPicks[(pick >> 4) % 8] * scale);
            break;
        default:
            out.push_back(kOthers[(pick >> 4) % 6] * scale);
            break;
    }
    return out;
}

// One check per input. A target makes the same sequence of checks (compare_all calls and the
// few others guarded by take_check) for every input; each input runs only the check its
// selector byte picks, so that an execution costs one reference procedure instead of dozens.
// The first input of a process (a replayed crash file among them) runs every check, and tells
// how many there are; replay_main.cpp runs every check on every input.
inline bool take_check(const Pair& p) {
#ifdef FUZZ_REPLAY
    (void)p;
    return true;  // a replay checks every input completely
#endif
    static uint64_t input = 0;    // serial of the input being checked
    static size_t index = 0;      // checks met so far in it
    static size_t count = 0;      // checks per input; 0 until the first input has ended
    if (input != fuzzin::input_serial()) {
        if (input != 0 && count == 0) count = index ? index : 1;
        input = fuzzin::input_serial();
        index = 0;
    }
    const size_t at = index++;
    return count == 0 || at == p.extra[7] % count;
}

// Range promised for a normalized value: [lo, hi] (values that the reference would also
// accept are caught by the comparison; this guards against a reference wrong in the same way).
inline void check_range(const char* name, const Pair& p, std::optional<double> v, double lo,
                        double hi) {
    if (v && !(*v >= lo && *v <= hi))
        fail(name, p.a, p.b, "value " + show(*v) + " outside [" + show(lo) + ", " + show(hi) + "]");
}

struct Options {
    bool symmetric = true;
    bool normalized = false;  // result in [0, 1]
    double scale = 1.0;       // 100 for the ratio scorers
    bool range = false;       // check [0, scale]
    bool zero_sign = true;    // +0.0 and -0.0 differ
};

// Calls a kernel on the pair's texts: typed when it takes qx::Text, else UTF-8.
template <class Cut, class Kernel>
auto call(Kernel kernel, const Pair& p, bool swapped, const Cut& c) {
    if constexpr (std::is_invocable_v<Kernel, qx::Text, qx::Text, Cut>) {
        return swapped ? kernel(p.t2(), p.t1(), c) : kernel(p.t1(), p.t2(), c);
    } else {
        std::string_view x(p.s1), y(p.s2);
        return swapped ? kernel(y, x, c) : kernel(x, y, c);
    }
}

// Compares kernel(s1, s2, cutoff) with reference(cutoff) for every cutoff of the list; with
// `symmetric`, also kernel(s2, s1, cutoff).
template <class Cut, class Kernel, class Reference>
void compare_all(const char* name, const Pair& p, Kernel kernel, Reference reference,
                 const Options& o) {
    if (!take_check(p)) return;
    auto uncut = reference(Cut{});
    std::vector<Cut> cuts;
    if constexpr (std::is_same_v<Cut, IntCut>)
        cuts = int_cutoffs(value_of(uncut), p.extra[0]);
    else
        cuts = float_cutoffs(value_of(uncut), p.extra[0], o.scale);
    if constexpr (!std::is_same_v<Cut, IntCut>) {
        if (o.range) check_range(name, p, value_of(uncut), 0.0, o.scale);
    }
    for (size_t i = 0; i < cuts.size(); ++i) {
        const Cut& c = cuts[i];
        auto expected = reference(c);
        auto got = call(kernel, p, false, c);
        if (!o.zero_sign) got = unsigned_zero(got), expected = unsigned_zero(expected);
        if (!same(value_of(got), value_of(expected)))
            fail(name, p.a, p.b,
                 "cutoff " + show(c) + ": got " + show(value_of(got)) + ", expected " +
                     show(value_of(expected)));
        // The texts swapped, under one of the cutoffs.
        if (o.symmetric && i == p.extra[0] % cuts.size()) {
            auto swapped = call(kernel, p, true, c);
            if (!same(value_of(swapped), value_of(expected)))
                fail(name, p.a, p.b,
                     "swapped, cutoff " + show(c) + ": got " + show(value_of(swapped)) +
                         ", expected " + show(value_of(expected)));
        }
    }
}

// The transitional bridge: typed texts encode to their UTF-8 forms, and UTF-8 decodes to the
// code points at the narrowest width.
inline void check_bridge(const Pair& p) {
    qx::Utf8Args utf8(p.t1(), p.t2());
    if (utf8.first() != p.s1 || utf8.second() != p.s2)
        fail("Utf8Args", p.a, p.b, "UTF-8 forms differ");
    for (const auto* pair : {&p.s1, &p.s2}) {
        const Seq& expected = pair == &p.s1 ? p.a : p.b;
        qx::DecodedText decoded(*pair);
        qx::Text t = decoded.text();
        bool same_points = t.length == expected.size();
        for (size_t i = 0; same_points && i < t.length; ++i) same_points = t.at(i) == expected[i];
        if (!same_points || t.width != fuzzin::narrowest_width(expected))
            fail("DecodedText", p.a, p.b, "decoded text differs or is not at the narrowest width");
    }
}

}  // namespace fuzzcheck
