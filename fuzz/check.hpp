// Comparison helpers of the fuzz targets: bit for bit against the reference under a few
// cutoffs; a mismatch prints the texts and aborts, so that libFuzzer keeps the input.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "input.hpp"
#include "reference.hpp"

namespace fuzzcheck {

using fuzzin::Pair;
using ref::FloatCut;
using ref::IntCut;
using ref::Seq;

inline std::string show(const Seq& s) {
    std::string out = "[";
    for (uint32_t c : s) {
        char buf[16];
        if (c >= 0x20 && c < 0x7F && c != '\'')
            std::snprintf(buf, sizeof buf, "%c", static_cast<char>(c));
        else
            std::snprintf(buf, sizeof buf, "<%X>", c);
        out += buf;
    }
    return out + "] (" + std::to_string(s.size()) + " symbols)";
}
template <class T>
std::string show(const T& v) {
    char buf[64];
    if constexpr (std::is_floating_point_v<T>) {
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
    } else if constexpr (std::is_integral_v<T>) {
        return std::to_string(v);
    } else {
        return v ? show(*v) : std::string("none");
    }
}

[[noreturn]] inline void fail(std::string_view name, const Seq& a, const Seq& b,
                              const std::string& detail) {
    std::fprintf(stderr, "\nMISMATCH in %.*s\n  s1 = %s\n  s2 = %s\n  %s\n",
                 static_cast<int>(name.size()), name.data(), show(a).c_str(), show(b).c_str(),
                 detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// Bit-identical, with every NaN equal to every NaN.
template <class T>
bool same(const T& x, const T& y) {
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
        return x == y && std::signbit(x) == std::signbit(y);
    } else if constexpr (std::is_integral_v<T>) {
        return x == y;
    } else {
        return x && y ? same(*x, *y) : !x && !y;
    }
}

// Every result as an optional (most kernels return a plain value; an optional stays one).
template <class T>
auto value_of(const T& v) {
    return std::optional(v);
}

// Three cutoffs: none, one at or next to the uncut value and one elsewhere (an extreme, a
// small fixed one or NaN), chosen by `pick`.
template <class Cut>
std::vector<Cut> cutoffs(const auto& uncut, uint8_t pick, double scale = 1.0) {
    const auto v = value_of(uncut);
    std::vector<Cut> out = {std::nullopt};
    if constexpr (std::is_same_v<Cut, IntCut>) {
        const uint64_t others[] = {0, std::numeric_limits<uint64_t>::max(), uint64_t{pick % 16u}};
        if (v) out.push_back(std::array{*v, *v + 1, *v ? *v - 1 : 0}[pick % 3]);
        out.push_back(others[(pick >> 2) % 3]);
    } else {
        static constexpr double kPicks[] = {0.25, 0.5, 0.75, 0.9, 0.3, 0.8, 0.95, 1e-9};
        static constexpr double kOthers[] = {0.0, -0.5, 1.0, 1.5, -INFINITY, 1.0};
        if (v && !std::isnan(*v))
            out.push_back(std::array{*v, std::nextafter(*v, -INFINITY),
                                     std::nextafter(*v, INFINITY)}[pick % 3]);
        const int other = (pick >> 2) % 3;
        out.push_back(other == 0   ? std::nan("")
                      : other == 1 ? kPicks[(pick >> 4) % 8] * scale
                                   : kOthers[(pick >> 4) % 6] * scale);
    }
    return out;
}

// One check per input: a target meets the same sequence of checks on every input and runs
// only the one its selector byte picks. The first input of a process (a replayed crash file
// too) runs them all and counts them; a replay build runs every check on every input.
inline bool take_check(const Pair& p) {
#ifdef FUZZ_REPLAY
    (void)p;
    return true;  // a replay checks every input completely
#endif
    static uint64_t input = 0;  // serial of the input being checked
    static size_t index = 0;    // checks met so far in it
    static size_t count = 0;    // checks per input; 0 until the first input has ended
    if (input != fuzzin::input_serial) {
        if (input != 0 && count == 0) count = index ? index : 1;
        input = fuzzin::input_serial;
        index = 0;
    }
    const size_t at = index++;
    return count == 0 || at == p.extra[7] % count;
}

struct Options {
    bool symmetric = true;
    double scale = 1.0;     // 100 for the ratio scorers
    bool range = false;     // a float result lies in [0, scale]
    bool zero_sign = true;  // +0.0 and -0.0 differ
};

// kernel(t1, t2, c) against reference(c) for every cutoff; with `symmetric`, once swapped.
template <class Cut, class Kernel, class Reference>
void compare_all(std::string_view name, const Pair& p, Kernel kernel, Reference reference,
                 const Options& o) {
    if (!take_check(p)) return;
    const auto uncut = value_of(reference(Cut{}));
    // The promised range (guards against a reference wrong in the same way as the kernel).
    if constexpr (std::is_same_v<Cut, FloatCut>) {
        if (o.range && uncut && !(*uncut >= 0.0 && *uncut <= o.scale))
            fail(name, p.a, p.b, "value " + show(*uncut) + " outside [0, " + show(o.scale) + "]");
    }
    const std::vector<Cut> cuts = cutoffs<Cut>(uncut, p.extra[0], o.scale);
    for (size_t i = 0; i < cuts.size(); ++i) {
        const Cut& c = cuts[i];
        auto expected = value_of(reference(c));
        auto got = value_of(kernel(p.t1(), p.t2(), c));
        // Where the sign of a zero is left open (ties in a maximum), -0.0 counts as +0.0.
        if (!o.zero_sign && got && *got == 0) got = 0;
        if (!o.zero_sign && expected && *expected == 0) expected = 0;
        for (bool swapped : {false, true}) {
            if (swapped && !(o.symmetric && i == p.extra[0] % cuts.size())) break;
            if (swapped) got = value_of(kernel(p.t2(), p.t1(), c));
            if (!same(got, expected))
                fail(name, p.a, p.b,
                     (swapped ? "swapped, cutoff " : "cutoff ") + show(c) + ": got " + show(got) +
                         ", expected " + show(expected));
        }
    }
}

// A query prepared from the pair's first text as a kernel of two texts.
template <class Query, class Form, class... Extra>
auto prepared(const Query& query, Form form, Extra... extra) {
    return [&query, form, extra...](qx::Text, qx::Text y, auto c) {
        return (query.*form)(y, extra..., c);
    };
}

}  // namespace fuzzcheck
