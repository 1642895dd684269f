// Fuzz target: the SIMD lane kernels of src/simd (LCS, Levenshtein and the Jaro matching of one
// text against a pack of patterns) on every instruction set this CPU runs, against the scalar
// kernels and the plain procedures of reference.hpp, lane by lane. The inputs favour the lane
// boundaries (pattern lengths 0, 1, 7/8/9, ..., 63/64), partially filled packs, empty patterns
// and texts, every combination of code-unit widths, symbols above U+00FF and U+FFFF, values
// that are no Unicode scalar values, a wide-symbol map whose symbols all collide, and texts long
// enough to overflow the narrow lane counters.
//
// Built with -DLANES_DRIVER, the same checks run without libFuzzer: a sweep over the
// boundaries, pseudo-random inputs, and the files named on the command line (the seed corpus);
// `--write-seeds DIR` writes the boundary seeds of fuzz/corpus/fuzz_lanes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "distance/jaro.hpp"
#include "distance/levenshtein.hpp"
#include "input.hpp"
#include "lcs_core.hpp"
#include "reference.hpp"
#include "simd/pattern_pack.hpp"

namespace {

using ref::Seq;
using qx::simd::Isa;
using qx::simd::JaroCounts;
using qx::simd::LaneWidth;

// ------------------------------------------------------------------------------------------
// The scalar kernels, on the texts at their narrowest width.

uint64_t scalar_lcs(const Seq& a, const Seq& b) {
    const fuzzin::Units x(a, fuzzin::narrowest_width(a)), y(b, fuzzin::narrowest_width(b));
    return qx::lcs_length(x.text(), y.text());
}
uint64_t scalar_levenshtein(const Seq& a, const Seq& b) {
    const fuzzin::Units x(a, fuzzin::narrowest_width(a)), y(b, fuzzin::narrowest_width(b));
    return qx::levenshtein(x.text(), y.text());
}
double scalar_jaro(const Seq& a, const Seq& b) {
    const fuzzin::Units x(a, fuzzin::narrowest_width(a)), y(b, fuzzin::narrowest_width(b));
    return qx::jaro_core(x.text(), y.text());
}

// The Jaro value from the lane counts, with the early returns and the formula, in its order of
// evaluation, of the scalar kernel: the way a caller turns the raw values into the measure.
double jaro_value(const JaroCounts& c, size_t len1, size_t len2, bool equal) {
    if (equal) return 1.0;
    if (len1 == 0 || len2 == 0 || c.matches == 0) return 0.0;
    const double m = c.matches;
    const double x = m / static_cast<double>(len1);
    const double y = x + m / static_cast<double>(len2);
    const double z = (m - static_cast<double>(c.transpositions)) / m;
    return (y + z) / 3.0;
}

// ------------------------------------------------------------------------------------------
// A case: a pack of patterns and one text, each stored as code units of a chosen width.

struct Stored {
    Seq symbols;
    uint8_t width = 4;
    std::vector<uint8_t> u8;
    std::vector<uint16_t> u16;
    std::vector<uint32_t> u32;

    Stored(Seq s, uint8_t w) : symbols(std::move(s)), width(w) {
        for (uint32_t v : symbols) {
            u8.push_back(static_cast<uint8_t>(v));
            u16.push_back(static_cast<uint16_t>(v));
            u32.push_back(v);
        }
    }
    qx::simd::Units units() const {
        if (width == 1) return std::span<const uint8_t>(u8);
        if (width == 2) return std::span<const uint16_t>(u16);
        return std::span<const uint32_t>(u32);
    }
};

// The narrowest code unit that holds every symbol of s.
uint8_t narrowest(const Seq& s) {
    uint32_t top = 0;
    for (uint32_t v : s) top = std::max(top, v);
    return top < 256 ? 1 : top < 65536 ? 2 : 4;
}

bool unicode(const Seq& s) {
    return std::all_of(s.begin(), s.end(),
                       [](uint32_t v) { return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF); });
}

struct Case {
    LaneWidth width = LaneWidth::bits8;
    bool colliding = false;
    std::vector<Stored> patterns;
    Stored text{{}, 1};
};

std::string show(const Seq& s) {
    std::string out;
    for (uint32_t v : s) {
        char buf[16];
        if (v >= 0x20 && v < 0x7F)
            std::snprintf(buf, sizeof buf, "%c", static_cast<char>(v));
        else
            std::snprintf(buf, sizeof buf, "<%X>", v);
        out += buf;
    }
    return "[" + out + "] (" + std::to_string(s.size()) + " symbols)";
}

[[noreturn]] void fail(const Case& c, const char* isa, size_t k, const std::string& what) {
    std::fprintf(stderr, "\nMISMATCH in lanes (%s, %zu-bit lanes, %zu patterns%s), lane %zu: %s\n",
                 isa, qx::simd::lane_bits(c.width), c.patterns.size(),
                 c.colliding ? ", colliding hash" : "", k, what.c_str());
    const Stored& p = c.patterns[k];
    std::fprintf(stderr, "  pattern (%u-byte units) = %s\n  text (%u-byte units) = %s\n", p.width,
                 show(p.symbols).c_str(), c.text.width, show(c.text.symbols).c_str());
    std::fflush(stderr);
    std::abort();
}

// The references of one lane: the plain procedures when the quadratic cost is small, the scalar
// kernels whenever both texts are Unicode (they take UTF-8; values beyond Unicode only occur in
// short texts).
struct Expected {
    uint64_t lcs, levenshtein;
    double jaro;
    uint32_t prefix;
};

// The measures a case checks: one per fuzzer input (which the input picks), or all of them.
struct Measures {
    bool lcs = true, levenshtein = true, jaro = true;
    // The lanes checked: k % 8 == lanes, and the last one; every lane when lanes is 8 or more.
    // (The packs stay full: every lane is computed beside the checked ones.)
    unsigned lanes = 8;
    // The instruction sets run: all of them, or the one an input picks (the scalar kernel is
    // the comparison for each).
    int isa = -1;
    static Measures only(uint8_t pick, uint8_t isa_pick) {
        return {pick % 3 == 0, pick % 3 == 1, pick % 3 == 2, (pick / 3u) % 9, isa_pick % 3};
    }
    bool checked(size_t k, size_t count) const {
        return lanes >= 8 || k % 8 == lanes || k + 1 == count;
    }
};

Expected expect(const Case& c, size_t k, Measures m) {
    const Seq& p = c.patterns[k].symbols;
    const Seq& t = c.text.symbols;
    const bool utf = unicode(p) && unicode(t);
    const bool small = p.size() * t.size() <= 64 * 1000;
    Expected e{};
    e.prefix = static_cast<uint32_t>(std::min<size_t>(ref::common_prefix(p, t), 4));
    if (small) {
        if (m.lcs) e.lcs = ref::lcs(p, t);
        if (m.levenshtein) e.levenshtein = ref::levenshtein(p, t);
        if (m.jaro) e.jaro = ref::jaro(t, p);
    }
    if (utf) {
        auto agree = [&](const char* what, bool ok) {
            if (!ok) fail(c, "-", k, std::string("scalar kernel and reference differ: ") + what);
        };
        if (m.lcs) {
            const uint64_t lcs = scalar_lcs(t, p);
            if (small) agree("lcs", lcs == e.lcs);
            e.lcs = lcs;
        }
        if (m.levenshtein) {
            const uint64_t lev = scalar_levenshtein(t, p);
            if (small) agree("levenshtein", lev == e.levenshtein);
            e.levenshtein = lev;
        }
        if (m.jaro) {
            const double jaro = scalar_jaro(t, p), swapped = scalar_jaro(p, t);
            if (small) agree("jaro", jaro == e.jaro);
            agree("jaro of the swapped texts", jaro == swapped);
            e.jaro = jaro;
        }
    }
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
                         std::string(what) + ": got " + std::to_string(got) + ", expected " +
                             std::to_string(want));
            };
            if (m.lcs) check("lcs", lcs[k], e.lcs);
            if (m.levenshtein) check("levenshtein", lev[k], e.levenshtein);
            if (!m.jaro) continue;
            check("jaro prefix", jaro[k].prefix, e.prefix);
            const JaroCounts& j = jaro[k];
            if (j.matches > std::min(p.size(), t.size()) || 2 * j.transpositions > j.matches)
                fail(c, kernels.name, k, "jaro counts out of range");
            const double value = jaro_value(j, t.size(), p.size(), p == t);
            if (value != e.jaro) {
                char buf[128];
                std::snprintf(buf, sizeof buf, "jaro: got %.17g (M=%u, t=%u), expected %.17g",
                              value, j.matches, j.transpositions, e.jaro);
                fail(c, kernels.name, k, buf);
            }
        }
    }
}

// ------------------------------------------------------------------------------------------
// Decoding the fuzzer's bytes into a case.

constexpr size_t kBoundaries[] = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64};

// Symbols spread over 600 code points of many 256-value pages: the wide-symbol map fills up.
uint32_t spread_symbol(fuzzin::Bytes& in) {
    return 0x100 + (in.next16() % 600) * 37;
}
// Values of 32-bit units that are no Unicode scalar values, beside a few that are.
constexpr uint32_t kOddValues[] = {'a', 'b', 0xD800, 0xDFFF, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF,
                                   0x1000000, 0x1000001, 0x4FF, 0x500, 0xFFFFFF00};

struct Alphabet {
    size_t which;  // an alphabet of input.hpp, or one of the two above
    uint32_t draw(fuzzin::Bytes& in) const {
        const auto& table = fuzzin::alphabets();
        if (which < table.size()) return fuzzin::symbol(in, table[which]);
        if (which == table.size()) return spread_symbol(in);
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
    if (b < 96) return b % (lane + 1);
    size_t n = kBoundaries[b % std::size(kBoundaries)];
    return std::min(n, lane);
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
    return std::max(narrowest(s), kWidths[pick % 3]);
}

// The shape of a case comes first (lengths, unit widths, kinds of pattern), the symbols after
// it: a seed of a few bytes fixes the shape, and the generator of input.hpp fills in the rest.
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
    Seq previous;
    for (const Shape& s : shapes) {
        Seq p;
        switch (s.kind % 4) {
            case 0:
            case 1:
                p = random_seq(in, alphabet, s.length);
                break;
            case 2: {  // an edited piece of the text
                const size_t start = text.empty() ? 0 : in.next16() % text.size();
                const size_t end = std::min(text.size(), start + s.length);
                p.assign(text.begin() + static_cast<ptrdiff_t>(start),
                         text.begin() + static_cast<ptrdiff_t>(end));
                p = fuzzin::edited(in, p, fuzzin::alphabets()[0], lane);
                break;
            }
            default:  // an edited copy of the pattern before
                p = fuzzin::edited(in, previous, fuzzin::alphabets()[1], lane);
                break;
        }
        if (p.size() > lane) p.resize(lane);
        previous = p;
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

#ifdef LANES_DRIVER
// ------------------------------------------------------------------------------------------
// The deterministic driver.

#include <fstream>
#include <iterator>

namespace {

// Every lane width, pattern length at its boundaries and text length around the lane
// boundaries, with patterns and texts in each combination of code-unit widths: full packs
// whose second lane is empty and packs one short of full.
size_t sweep() {
    size_t cases = 0;
    uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    };
    const Seq by_width[5] = {{}, {'a', 'b', 0xE9}, {'a', 0x416, 0x20AC}, {}, {'b', 0x1F44D, 0x416}};
    static constexpr size_t kTexts[] = {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 129, 300};
    for (int w = 0; w < 4; ++w) {
        const auto width = static_cast<LaneWidth>(w);
        const size_t lane = qx::simd::lane_bits(width);
        const size_t capacity = qx::simd::pack_capacity(width);
        for (size_t m : kBoundaries) {
            if (m > lane) continue;
            for (size_t n : kTexts) {
                for (uint8_t pw : {1, 2, 4}) {
                    for (uint8_t tw : {1, 2, 4}) {
                        Case c;
                        c.width = width;
                        c.colliding = (cases % 3) == 0;
                        Seq text(n);
                        for (auto& v : text) v = by_width[tw][next() % 3];
                        c.text = Stored(text, tw);
                        const size_t count = (cases % 2) ? capacity : capacity - 1;
                        for (size_t k = 0; k < count; ++k) {
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
    }
    return cases;
}

// Seeds: every lane width with full packs of each boundary pattern length, over a few
// alphabets (ASCII, astral, 700 CJK symbols, the colliding spread map), texts of the boundary
// lengths and mixed unit widths.
void write_seeds(const std::string& dir) {
    for (int w = 0; w < 4; ++w) {
        for (size_t b = 0; b < std::size(kBoundaries); ++b) {
            if (kBoundaries[b] > (size_t{8} << w)) continue;
            for (int alphabet : {1, 4, 12, 14}) {
                const bool collide = alphabet == 14;
                std::vector<uint8_t> bytes = {
                    static_cast<uint8_t>(w | (collide ? 4 : 0)), 0x80,
                    static_cast<uint8_t>(alphabet),
                    static_cast<uint8_t>(160 + (b * 5 + static_cast<size_t>(w)) % 24),
                    static_cast<uint8_t>(b)};
                // Pattern length byte v >= 96 picks kBoundaries[v % 13].
                const uint8_t length = static_cast<uint8_t>(96 + (b + 8) % 13);
                for (int k = 0; k < 64; ++k) {
                    bytes.push_back(k % 5 == 4 ? 0 : length);  // now and then an empty pattern
                    bytes.push_back(static_cast<uint8_t>(k));
                    bytes.push_back(static_cast<uint8_t>(k / 4));
                }
                char name[64];
                std::snprintf(name, sizeof name, "/lanes_w%d_m%zu_a%d", 8 << w, kBoundaries[b],
                              alphabet);
                std::ofstream(dir + name, std::ios::binary)
                    .write(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<std::streamsize>(bytes.size()));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        write_seeds(argv[2]);
        return 0;
    }
    const size_t swept = sweep();
    uint64_t state = 42;
    const size_t rounds = 3000;
    for (size_t r = 0; r < rounds; ++r) {
        std::vector<uint8_t> bytes(1 + r % 200);
        for (auto& b : bytes) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            b = static_cast<uint8_t>(state >> 56);
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream f(argv[i], std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("lanes: %zu sweep cases, %zu random inputs, %d files passed (%s detected)\n",
                swept, rounds, argc - 1,
                qx::simd::lane_kernels(qx::simd::detected_isa()).name);
    return 0;
}
#endif
