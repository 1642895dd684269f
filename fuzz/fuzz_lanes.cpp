// Fuzz target: the SIMD lane kernels (LCS, Levenshtein, Jaro counts of one text against a pack
// of patterns) on every instruction set this CPU runs, lane by lane, against the scalar kernels
// and reference.hpp. Built with -DFUZZ_REPLAY (lanes_check), a sweep over the lane boundaries
// and pseudo-random inputs runs before the files named on the command line.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "check.hpp"
#include "distance/jaro.hpp"
#include "distance/levenshtein.hpp"
#include "lcs_core.hpp"
#include "simd/pattern_pack.hpp"

namespace {

using fuzzin::narrowest_width;
using qx::simd::Isa;
using qx::simd::JaroCounts;
using qx::simd::LaneWidth;
using ref::Seq;

// A scalar kernel on the texts at their narrowest width.
template <class Kernel>
auto scalar(Kernel kernel, const Seq& a, const Seq& b) {
    const fuzzin::Units x(a, narrowest_width(a)), y(b, narrowest_width(b));
    return kernel(x.text(), y.text());
}

// The Jaro value from the lane counts, as the scalar kernel computes it.
double jaro_value(const JaroCounts& c, size_t len1, size_t len2, bool equal) {
    if (equal) return 1.0;
    if (len1 == 0 || len2 == 0 || c.matches == 0) return 0.0;
    const double m = c.matches;
    const double x = m / static_cast<double>(len1);
    const double y = x + m / static_cast<double>(len2);
    const double z = (m - static_cast<double>(c.transpositions)) / m;
    return (y + z) / 3.0;
}

// A case: a pack of patterns and one text, each stored as code units of a chosen width.
struct Stored {
    Seq symbols;
    fuzzin::Units stored;

    Stored(Seq s, uint8_t width) : symbols(std::move(s)), stored(symbols, width) {}
    qx::simd::Units units() const {
        return qx::visit(stored.text(), [](auto span) { return qx::simd::Units(span); });
    }
};

struct Case {
    LaneWidth width = LaneWidth::bits8;
    bool colliding = false;
    std::vector<Stored> patterns;
    Stored text{{}, 1};
};

bool unicode(const Seq& s) {
    return std::all_of(s.begin(), s.end(),
                       [](uint32_t v) { return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF); });
}

// Shows lane k's pattern (if there is one) as s1 and the text as s2.
[[noreturn]] void fail(const Case& c, const char* isa, size_t k, const std::string& what) {
    static const Stored none{{}, 1};
    const Stored& p = k < c.patterns.size() ? c.patterns[k] : none;
    char where[160];
    std::snprintf(where, sizeof where, "lanes (%s, %zu-bit, %zu patterns%s, %u/%u-byte units) #%zu",
                  isa, qx::simd::lane_bits(c.width), c.patterns.size(),
                  c.colliding ? ", colliding hash" : "", p.stored.width, c.text.stored.width, k);
    fuzzcheck::fail(where, p.symbols, c.text.symbols, what);
}

struct Expected {
    uint64_t lcs, levenshtein, prefix;
    double jaro;
};

// The measures a case checks: one per fuzzer input (which the input picks), or all of them.
struct Measures {
    bool lcs = true, levenshtein = true, jaro = true;
    // Lanes checked: k % 8 == lanes and the last one; all when lanes >= 8 (packs stay full).
    unsigned lanes = 8;
    int isa = -1;  // the instruction set run, or all of them
    static Measures only(uint8_t pick, uint8_t isa_pick) {
        return {pick % 3 == 0, pick % 3 == 1, pick % 3 == 2, (pick / 3u) % 9, isa_pick % 3};
    }
    bool checked(size_t k, size_t count) const {
        return lanes >= 8 || k % 8 == lanes || k + 1 == count;
    }
};

// One lane's references: the plain procedures when small, the scalar kernels when both texts
// are Unicode (values beyond it occur only in short texts); where both run they must agree.
Expected expect(const Case& c, size_t k, Measures m) {
    const Seq& p = c.patterns[k].symbols;
    const Seq& t = c.text.symbols;
    const bool utf = unicode(p) && unicode(t);
    const bool small = p.size() * t.size() <= 64 * 1000;
    Expected e{};
    e.prefix = std::min<size_t>(ref::common_prefix(p, t), 4);
    auto settle = [&](const char* what, auto& value, auto procedure, auto kernel) {
        if (small) value = procedure();
        if (!utf) return;
        const auto v = kernel();
        if (small && v != value)
            fail(c, "-", k, std::string("scalar kernel and reference differ: ") + what);
        value = v;
    };
    auto lcs = [](qx::Text x, qx::Text y) { return qx::lcs_length(x, y); };
    auto lev = [](qx::Text x, qx::Text y) { return qx::levenshtein(x, y); };
    auto jaro = [](qx::Text x, qx::Text y) { return qx::jaro_core(x, y); };
    if (m.lcs)
        settle("lcs", e.lcs, [&] { return ref::lcs(p, t); }, [&] { return scalar(lcs, t, p); });
    if (m.levenshtein)
        settle("levenshtein", e.levenshtein, [&] { return ref::levenshtein(p, t); },
               [&] { return scalar(lev, t, p); });
    if (m.jaro)
        settle("jaro", e.jaro, [&] { return ref::jaro(t, p); }, [&] { return scalar(jaro, t, p); });
    if (m.jaro && utf && scalar(jaro, p, t) != e.jaro)
        fail(c, "-", k, "scalar kernel and reference differ: jaro of the swapped texts");
    return e;
}

void check_case(const Case& c, Measures m = {}) {
    std::vector<qx::simd::Units> units;
    for (const Stored& p : c.patterns) units.push_back(p.units());
    const qx::simd::PatternPack pack(c.width, units, {.colliding_hash = c.colliding});
    const size_t count = c.patterns.size();
    const Seq& t = c.text.symbols;
    if (pack.size() != count) fail(c, "-", 0, "pack size");

    std::vector<Expected> expected;
    for (size_t k = 0; k < count; ++k) {
        if (pack.length(k) != c.patterns[k].symbols.size()) fail(c, "-", k, "pattern length");
        expected.push_back(m.checked(k, count) ? expect(c, k, m) : Expected{});
    }

    std::vector<uint64_t> lcs(count + 1, 12345), lev(count + 1, 12345);
    std::vector<JaroCounts> jaro(count + 1, JaroCounts{7, 7, 7});
    for (Isa isa : {Isa::scalar, Isa::sse42, Isa::avx2}) {
        if (!qx::simd::isa_supported(isa) || (m.isa >= 0 && static_cast<int>(isa) != m.isa))
            continue;
        const auto& kernels = qx::simd::lane_kernels(isa);
        if (m.lcs) qx::simd::lcs_lengths(pack, c.text.units(), lcs.data(), kernels);
        if (m.levenshtein)
            qx::simd::levenshtein_distances(pack, c.text.units(), lev.data(), kernels);
        if (m.jaro) qx::simd::jaro_counts(pack, c.text.units(), jaro.data(), kernels);
        if (lcs[count] != 12345 || lev[count] != 12345 || jaro[count].matches != 7)
            fail(c, kernels.name, count, "written past the last pattern");
        for (size_t k = 0; k < count; ++k) {
            if (!m.checked(k, count)) continue;
            const Expected& e = expected[k];
            const Seq& p = c.patterns[k].symbols;
            auto check = [&](const char* what, auto got, auto want) {
                if (got != want)
                    fail(c, kernels.name, k,
                         std::string(what) + ": got " + fuzzcheck::show(got) + ", expected " +
                             fuzzcheck::show(want));
            };
            if (m.lcs) check("lcs", lcs[k], e.lcs);
            if (m.levenshtein) check("levenshtein", lev[k], e.levenshtein);
            if (!m.jaro) continue;
            const JaroCounts& j = jaro[k];
            check("jaro prefix", uint64_t{j.prefix}, e.prefix);
            if (j.matches > std::min(p.size(), t.size()) || 2 * j.transpositions > j.matches)
                fail(c, kernels.name, k, "jaro counts out of range");
            check("jaro (from the counts)", jaro_value(j, t.size(), p.size(), p == t), e.jaro);
        }
    }
}

constexpr size_t kBoundaries[] = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64};

// Values of 32-bit units that are no Unicode scalar values, beside a few that are.
constexpr uint32_t kOddValues[] = {'a', 'b', 0xD800, 0xDFFF, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF,
                                   0x1000000, 0x1000001, 0x4FF, 0x500, 0xFFFFFF00};

// An alphabet of input.hpp, 600 symbols over many 256-value pages, or the odd values above.
struct Alphabet {
    size_t which;
    uint32_t draw(fuzzin::Bytes& in) const {
        const auto& table = fuzzin::alphabets();
        if (which < table.size()) return fuzzin::symbol(in, table[which]);
        if (which == table.size()) return 0x100 + (in.next16() % 600) * 37;
        return kOddValues[in.next() % std::size(kOddValues)];
    }
    static size_t count() { return fuzzin::alphabets().size() + 2; }
};

Seq random_seq(fuzzin::Bytes& in, const Alphabet& a, size_t n) {
    Seq s(n);
    for (auto& v : s) v = a.draw(in);
    return s;
}

size_t pattern_length(fuzzin::Bytes& in, size_t lane) {
    const uint8_t b = in.next();
    return b < 96 ? b % (lane + 1) : std::min(kBoundaries[b % std::size(kBoundaries)], lane);
}

size_t text_length(fuzzin::Bytes& in) {
    static constexpr size_t kTextBoundaries[] = {0,   1,   7,   8,   9,   15,  16,  17,
                                                 31,  32,  33,  63,  64,  65,  127, 128,
                                                 129, 254, 255, 256, 300, 511, 512, 700};
    const uint8_t b = in.next();
    if (b < 160) return b % 48;
    if (b < 232) return kTextBoundaries[b % std::size(kTextBoundaries)];
    if (b < 254) return 100 + in.next16() % 600;
    return 32768 + in.next16() % 700;  // past the 16-bit lane counters' exact range
}

// Code units of the width picked by `pick`, or wider when a symbol needs it.
uint8_t unit_width(uint8_t pick, const Seq& s) {
    static constexpr uint8_t kWidths[] = {1, 2, 4};
    return std::max(narrowest_width(s), kWidths[pick % 3]);
}

// The shape first (lengths, unit widths, kinds of pattern), so that a short seed fixes it.
Case decode(fuzzin::Bytes& in) {
    Case c;
    const uint8_t head = in.next();
    c.width = static_cast<LaneWidth>(head & 3);
    c.colliding = (head & 4) != 0;
    const size_t lane = qx::simd::lane_bits(c.width);
    const size_t capacity = qx::simd::pack_capacity(c.width);
    const uint8_t fill = in.next();
    const size_t count = (fill & 0x80) ? capacity : fill % (capacity + 1);
    const Alphabet alphabet{in.next() % Alphabet::count()};
    const bool odd = alphabet.which + 1 == Alphabet::count();
    const size_t n = odd ? std::min<size_t>(text_length(in), 700) : text_length(in);
    const uint8_t text_width = in.next();
    struct Shape {
        size_t length;
        uint8_t kind, width;
    };
    std::vector<Shape> shapes(count);
    for (Shape& s : shapes) s = {pattern_length(in, lane), in.next(), in.next()};

    const Seq text = random_seq(in, alphabet, n);
    c.text = Stored(text, unit_width(text_width, text));
    Seq p;
    for (const Shape& s : shapes) {
        if (s.kind % 4 < 2) {
            p = random_seq(in, alphabet, s.length);
        } else if (s.kind % 4 == 2) {  // an edited piece of the text
            const size_t start = text.empty() ? 0 : in.next16() % text.size();
            const size_t end = std::min(text.size(), start + s.length);
            p = fuzzin::edited(in, Seq(text.begin() + start, text.begin() + end),
                               fuzzin::alphabets()[0], lane);
        } else {  // an edited copy of the pattern before
            p = fuzzin::edited(in, p, fuzzin::alphabets()[1], lane);
        }
        p.resize(std::min(p.size(), lane));
        c.patterns.emplace_back(p, unit_width(s.width, p));
    }
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Case c = decode(in);
    const uint8_t pick = in.next();
    Measures m = Measures::only(pick, in.next());
    while (m.isa > 0 && !qx::simd::isa_supported(static_cast<Isa>(m.isa))) --m.isa;
    check_case(c, m);
    return 0;
}

#ifdef FUZZ_REPLAY
// Before the files: every lane width, pattern and text lengths at the lane boundaries, every
// combination of unit widths (packs full or one short), then pseudo-random inputs.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    size_t cases = 0;
    fuzzin::Bytes rng(nullptr, 0);  // deterministic bytes
    auto next = [&rng] { return rng.next(); };
    const Seq by_width[5] = {{}, {'a', 'b', 0xE9}, {'a', 0x416, 0x20AC}, {}, {'b', 0x1F44D, 0x416}};
    constexpr size_t kTexts[] = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 129, 300};
    for (int w = 0; w < 4; ++w) {
        const auto width = static_cast<LaneWidth>(w);
        const size_t lane = qx::simd::lane_bits(width);
        const size_t capacity = qx::simd::pack_capacity(width);
        for (size_t m : kBoundaries) {
            for (size_t n : kTexts) {
                for (int combination = 0; m <= lane && combination < 9; ++combination) {
                    const uint8_t pw = uint8_t{1} << (combination / 3);
                    const uint8_t tw = uint8_t{1} << (combination % 3);
                    Case c{width, cases % 3 == 0, {}, {{}, 1}};
                    Seq text(n);
                    for (auto& v : text) v = by_width[tw][next() % 3];
                    c.text = Stored(text, tw);
                    for (size_t k = 0; k < (cases % 2 ? capacity : capacity - 1); ++k) {
                        Seq p(k == 1 ? 0 : m);
                        for (size_t i = 0; i < p.size(); ++i) {
                            // Half the lanes copy the text where it has symbols.
                            p[i] = (k % 2 && i < n) ? text[i] : by_width[pw][next() % 3];
                            if (pw == 1 && p[i] > 0xFF) p[i] = 'a';
                            if (pw == 2 && p[i] > 0xFFFF) p[i] = 0x416;
                        }
                        c.patterns.emplace_back(p, pw);
                    }
                    check_case(c);
                    ++cases;
                }
            }
        }
    }
    for (size_t r = 0; r < 3000; ++r) {
        std::vector<uint8_t> bytes(1 + r % 200);
        for (auto& b : bytes) b = next();
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("lanes: %zu sweep cases and 3000 random inputs passed (%s detected)\n", cases,
                qx::simd::lane_kernels(qx::simd::detected_isa()).name);
    return 0;
}
#endif
