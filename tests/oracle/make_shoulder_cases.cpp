// Writes the table of shoulder points that every build replays
// (shoulder_cases.h), each computed with MPFR in the steps of shoulderPoint:
// random poses anywhere and of a size that fits the window, head and hip a
// few pixels apart and on one point, axis-aligned spines, near ties and the
// extremes of the input's range.
//
//   make_shoulder_cases SEED OUTPUT
//
// Near ties are poses whose exact shoulder coordinate lies on a whole number
// or very close to one, so that the precision of the steps decides the pixel
// after truncation. They are picked by measuring the exact value with 256-bit
// MPFR: whole-number lengths along Pythagorean directions, which land exactly
// on whole numbers, and the closest approaches of other directions, found
// from the continued fraction of the direction.
//
// One seed gives one file, byte for byte: the random numbers are mt19937's,
// a sequence the C++ standard fixes, drawn into ranges by the code below
// rather than by the library's distributions, which differ between libraries.
#include "pose.h"
#include "shoulder_cases.h"
#include "shoulder_mpfr.h"

#include <mpfr.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// How close to a whole number the exact coordinate of a near tie lies: about
// a millionth of a pixel, which some one candidate in thirteen reaches. Onto a
// whole number itself only Pythagorean directions lead (the exact ties).
constexpr double NearTie = 1.0 / (1 << 20);

class Random {
  public:
    explicit Random(std::uint32_t seed) : engine(seed) {}

    // A whole number in [low, high], each equally likely.
    long between(long low, long high) {
        const std::uint64_t range = static_cast<std::uint64_t>(high - low) + 1; // at most 2^32
        const std::uint64_t usable = (std::uint64_t{1} << 32) / range * range;
        std::uint64_t drawn;
        do {
            drawn = engine();
        } while (drawn >= usable);
        return low + static_cast<long>(drawn % range);
    }

    bool coin() { return between(0, 1) == 1; }
    long offset() { return between(-Limit, Limit); }

  private:
    std::mt19937 engine;
};

// A direction's component measured exactly (256 bits): how close whole-number
// shoulder distances bring the shoulder coordinate to a whole number.
class Exact {
  public:
    Exact() { mpfr_inits2(256, u, x, t, static_cast<mpfr_ptr>(nullptr)); }
    ~Exact() { mpfr_clears(u, x, t, static_cast<mpfr_ptr>(nullptr)); }
    Exact(const Exact&) = delete;
    Exact& operator=(const Exact&) = delete;

    // The component along of the unit vector (dx, dy) / |(dx, dy)|.
    void direction(long along, long dx, long dy) {
        mpfr_set_si(x, dx, MPFR_RNDN);
        mpfr_sqr(x, x, MPFR_RNDN);
        mpfr_set_si(t, dy, MPFR_RNDN);
        mpfr_sqr(t, t, MPFR_RNDN);
        mpfr_add(x, x, t, MPFR_RNDN);
        mpfr_sqrt(x, x, MPFR_RNDN);
        mpfr_set_si(u, along, MPFR_RNDN);
        mpfr_div(u, u, x, MPFR_RNDN);
    }

    // How far distance * component lies from the nearest whole number. The
    // head adds a whole number, which changes nothing of that.
    double fromWhole(long distance) {
        mpfr_mul_si(x, u, distance, MPFR_RNDN);
        mpfr_rint(t, x, MPFR_RNDN);
        mpfr_sub(x, x, t, MPFR_RNDN);
        return std::abs(mpfr_get_d(x, MPFR_RNDN));
    }

    // The denominators up to Limit of the convergents of the component's
    // continued fraction: the distances at which the coordinate comes closer
    // to a whole number than at any smaller distance.
    std::vector<long> convergentDenominators() {
        std::vector<long> denominators;
        mpfr_abs(x, u, MPFR_RNDN);
        long before = 1, last = 0;
        for (;;) {
            if (mpfr_cmp_si(x, Limit + 1) > 0 && last > 0) {
                break; // the next denominator is beyond the range
            }
            const long quotient = mpfr_get_si(x, MPFR_RNDD);
            const long next = quotient * last + before;
            if (next > Limit) {
                break;
            }
            if (next > 0) {
                denominators.push_back(next);
            }
            before = last;
            last = next;
            mpfr_frac(x, x, MPFR_RNDN);
            if (mpfr_zero_p(x)) {
                break; // a rational component: the last denominator is exact
            }
            mpfr_ui_div(x, 1, x, MPFR_RNDN);
        }
        return denominators;
    }

  private:
    mpfr_t u, x, t;
};

class Table {
  public:
    explicit Table(std::FILE* file) : file(file) {}

    void add(long hx, long hy, long px, long py, long shoulder) {
        OracleCase c{{static_cast<int>(hx), static_cast<int>(hy)},
                     {static_cast<int>(px), static_cast<int>(py)},
                     static_cast<int>(shoulder),
                     {}};
        const Pose pose = oraclePose(c);
        c.expected = extended.shoulder(pose);
        const Point plain = doubles.shoulder(pose);
        if (plain.x != c.expected.x || plain.y != c.expected.y) {
            ++inDoubles;
        }
        if (!writeOracleCase(file, c)) {
            failed = true;
        }
        ++cases;
    }

    long cases = 0;
    long inDoubles = 0; // cases that the same steps in doubles put on another pixel
    bool failed = false;

  private:
    std::FILE* file;
    Oracle extended;
    Oracle doubles{53};
};

// Whole-number shoulder distances along Pythagorean directions: both
// coordinates are exactly whole numbers, and only the rounding of the steps
// decides on which side of them the computation lands.
void exactTies(Table& table, Random& random, long count) {
    for (long i = 0; i < count; ++i) {
        // A primitive triple a² + b² = c² from m > n > 0, coprime, one of
        // them even; the small triples (3 4 5, 5 12 13, ...) come often.
        long m, n;
        do {
            m = random.between(2, random.between(2, 255));
            n = random.between(1, m - 1);
        } while ((m - n) % 2 == 0 || std::gcd(m, n) != 1 || m * m + n * n > Limit);
        long a = m * m - n * n, b = 2 * m * n;
        const long c = m * m + n * n;
        if (random.coin()) {
            std::swap(a, b);
        }
        const long scale = random.between(1, 2 * Limit / std::max(a, b));
        const long dx = (random.coin() ? a : -a) * scale;
        const long dy = (random.coin() ? b : -b) * scale;
        const long hx = random.between(dx > 0 ? -Limit : -Limit - dx, dx > 0 ? Limit - dx : Limit);
        const long hy = random.between(dy > 0 ? -Limit : -Limit - dy, dy > 0 ? Limit - dy : Limit);
        const long shoulder = random.between(-Limit / c, Limit / c) * c;
        table.add(hx, hy, hx + dx, hy + dy, shoulder);
    }
}

// Random directions at their closest approaches: the shoulder distance is
// the largest convergent denominator of one component, and the pose is kept
// when the exact coordinate lies within tolerance of a whole number. Returns
// the number of candidates.
long nearTies(Table& table, Random& random, long count, double tolerance) {
    Exact exact;
    long candidates = 0;
    for (long kept = 0; kept < count;) {
        ++candidates;
        const long hx = random.offset(), hy = random.offset();
        const long px = random.offset(), py = random.offset();
        const long dx = px - hx, dy = py - hy;
        if (dx == 0 || dy == 0) {
            continue;
        }
        exact.direction(random.coin() ? dx : dy, dx, dy);
        const std::vector<long> denominators = exact.convergentDenominators();
        const long shoulder = denominators.back();
        if (exact.fromWhole(shoulder) < tolerance) {
            table.add(hx, hy, px, py, random.coin() ? shoulder : -shoulder);
            ++kept;
        }
    }
    return candidates;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_shoulder_cases SEED OUTPUT\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long seed = std::strtoul(argv[1], &end, 10);
    if (*argv[1] == '\0' || *end != '\0' || seed > UINT32_MAX) {
        std::fprintf(stderr, "make_shoulder_cases: the seed is a 32-bit whole number, not %s\n",
                     argv[1]);
        return 2;
    }
    // Written beside the output and renamed at the end, so that a table
    // exists only whole.
    const std::string output = argv[2];
    const std::string partial = output + ".partial";
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (!file) {
        std::fprintf(stderr, "make_shoulder_cases: %s: %s\n", partial.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::fprintf(file, "# shoulderPoint cases computed with MPFR, seed %lu\n", seed);
    std::fprintf(file, "# head.x head.y hip.x hip.y shoulder x y\n");

    Random random(static_cast<std::uint32_t>(seed));
    Table table(file);
    std::printf("%s, seed %lu:\n", output.c_str(), seed);
    // Adds the cases of one kind and says how many of them the same steps in
    // doubles would put on another pixel: the cases that need the precision.
    auto kind = [&table](const char* name, auto add) {
        const long cases = table.cases, inDoubles = table.inDoubles;
        add();
        std::printf("  %-32s %6ld cases, %5ld of them on another pixel in doubles\n", name,
                    table.cases - cases, table.inDoubles - inDoubles);
    };

    kind("anywhere", [&] {
        for (int i = 0; i < 40000; ++i) {
            table.add(random.offset(), random.offset(), random.offset(), random.offset(),
                      random.offset());
        }
    });
    kind("of a size that fits the window", [&] {
        for (int i = 0; i < 40000; ++i) {
            table.add(random.between(-200, 200), random.between(-200, 200),
                      random.between(-200, 200), random.between(-200, 200),
                      random.between(-200, 200));
        }
    });
    kind("head and hip a few pixels apart", [&] {
        for (int i = 0; i < 8000; ++i) {
            const long hx = random.offset(), hy = random.offset();
            table.add(hx, hy, hx + random.between(-3, 3), hy + random.between(-3, 3),
                      random.offset());
        }
    });
    // The shoulder point is the head's, whatever Shoulder holds.
    kind("head on hip", [&] {
        for (long shoulder : {0L, 1L, -1L, long{INT_MIN}, long{INT_MAX}}) {
            table.add(0, 0, 0, 0, shoulder);
            const long hx = random.offset(), hy = random.offset();
            table.add(hx, hy, hx, hy, shoulder);
        }
        for (int i = 0; i < 2000; ++i) {
            const long hx = random.offset(), hy = random.offset();
            table.add(hx, hy, hx, hy, random.between(INT_MIN, INT_MAX));
        }
    });
    kind("axis-aligned spines", [&] {
        for (int i = 0; i < 10000; ++i) {
            const long hx = random.offset(), hy = random.offset(), other = random.offset();
            if (i % 2) {
                table.add(hx, hy, hx, other, random.offset());
            } else {
                table.add(hx, hy, other, hy, random.offset());
            }
        }
    });
    kind("exact ties", [&] { exactTies(table, random, 30000); });
    long candidates = 0;
    kind("near ties", [&] { candidates = nearTies(table, random, 30000, NearTie); });
    kind("the extremes of the range", [&] {
        forEachExtremePose([&](int hx, int hy, int px, int py, int shoulder) {
            table.add(hx, hy, px, py, shoulder);
        });
    });

    std::fprintf(file, "# %ld cases that the same steps in doubles put on another pixel\n",
                 table.inDoubles);
    writeOracleEnd(file, table.cases);
    if (table.failed || std::ferror(file) || std::fclose(file) != 0) {
        std::fprintf(stderr, "make_shoulder_cases: writing %s failed\n", partial.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    if (std::rename(partial.c_str(), output.c_str()) != 0) {
        std::fprintf(stderr, "make_shoulder_cases: %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("  %ld cases in all, %ld of them on another pixel in doubles; near ties kept "
                "from %ld candidates\n",
                table.cases, table.inDoubles, candidates);
    return 0;
}
