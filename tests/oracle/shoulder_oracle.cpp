// shoulderPoint against the same steps carried out by MPFR with a 64-bit
// significand: round to nearest at every step, to double where the geometry
// says so, truncation at the end. Any difference in a single case fails.
#include "pose.h"

#include <doctest.h>
#include <mpfr.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr mpfr_prec_t Extended = 64;

struct Oracle {
    mpfr_t a, b, s, len, ux, uy, t;
    Oracle() { mpfr_inits2(Extended, a, b, s, len, ux, uy, t, static_cast<mpfr_ptr>(nullptr)); }
    ~Oracle() { mpfr_clears(a, b, s, len, ux, uy, t, static_cast<mpfr_ptr>(nullptr)); }

    // Extended value rounded to the nearest double.
    static double toDouble(mpfr_t value) { return mpfr_get_d(value, MPFR_RNDN); }

    Point shoulder(const Pose& pose) {
        const long hx = FigureOrigin.x + pose.Head.x, hy = FigureOrigin.y + pose.Head.y;
        const long px = FigureOrigin.x + pose.Hip.x, py = FigureOrigin.y + pose.Hip.y;
        const double dx = static_cast<double>(px - hx);
        const double dy = static_cast<double>(py - hy);
        mpfr_set_d(a, dx, MPFR_RNDN);
        mpfr_mul(a, a, a, MPFR_RNDN);
        mpfr_set_d(b, dy, MPFR_RNDN);
        mpfr_mul(b, b, b, MPFR_RNDN);
        mpfr_add(s, a, b, MPFR_RNDN);
        double ex, ey;
        if (mpfr_zero_p(s)) {
            ex = dx;
            ey = dy;
        } else {
            mpfr_sqrt(len, s, MPFR_RNDN);
            mpfr_set_d(len, toDouble(len), MPFR_RNDN);
            mpfr_set_d(t, dx, MPFR_RNDN);
            mpfr_div(ux, t, len, MPFR_RNDN);
            mpfr_set_d(t, dy, MPFR_RNDN);
            mpfr_div(uy, t, len, MPFR_RNDN);
            ex = toDouble(ux);
            ey = toDouble(uy);
        }
        return {along(pose.Shoulder, ex, hx), along(pose.Shoulder, ey, hy)};
    }

    // distance * unit + start, extended, truncated towards zero.
    int along(long distance, double unit, long start) {
        mpfr_set_si(a, distance, MPFR_RNDN);
        mpfr_set_d(b, unit, MPFR_RNDN);
        mpfr_mul(t, a, b, MPFR_RNDN);
        mpfr_add_si(t, t, start, MPFR_RNDN);
        return static_cast<int>(mpfr_get_si(t, MPFR_RNDZ));
    }
};

struct Run {
    Oracle oracle;
    long cases = 0;
    long mismatches = 0;

    void check(int hx, int hy, int px, int py, int shoulder) {
        Pose pose = DefaultPose;
        placeJoint(pose, JointId::Head, hx, hy);
        placeJoint(pose, JointId::Hip, px, py);
        placeJoint(pose, JointId::Shoulder, 0, shoulder);
        const Point expected = oracle.shoulder(pose);
        const Point actual = shoulderPoint(pose);
        ++cases;
        if (expected.x != actual.x || expected.y != actual.y) {
            if (++mismatches <= 20) {
                std::printf("mismatch: head (%d,%d) hip (%d,%d) shoulder %d: "
                            "oracle (%d,%d), shoulderPoint (%d,%d)\n",
                            hx, hy, px, py, shoulder, expected.x, expected.y, actual.x, actual.y);
            }
        }
    }
};

constexpr int Limit = 65535; // every offset and distance the input can produce

} // namespace

TEST_CASE("shoulderPoint agrees with MPFR over random and edge poses") {
    std::uint32_t seed = 20261209;
    if (const char* given = std::getenv("ORACLE_SEED")) {
        seed = static_cast<std::uint32_t>(std::strtoul(given, nullptr, 10));
    }
    std::printf("oracle seed %u (set ORACLE_SEED to replay another)\n", seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> any(-Limit, Limit);
    std::uniform_int_distribution<int> near(-3, 3);
    std::uniform_int_distribution<int> small(-200, 200);
    Run run;

    // Anywhere at all.
    for (int i = 0; i < 600000; ++i) {
        run.check(any(random), any(random), any(random), any(random), any(random));
    }
    // Head and hip a few pixels apart, and on one point.
    for (int i = 0; i < 200000; ++i) {
        const int hx = any(random), hy = any(random);
        run.check(hx, hy, hx + near(random), hy + near(random), any(random));
    }
    // Axis-aligned spines.
    for (int i = 0; i < 100000; ++i) {
        const int hx = any(random), hy = any(random), other = any(random);
        if (i % 2) {
            run.check(hx, hy, hx, other, any(random));
        } else {
            run.check(hx, hy, other, hy, any(random));
        }
    }
    // Figures of a size that fits the window, with short shoulder distances:
    // where truncation decides single visible pixels.
    for (int i = 0; i < 300000; ++i) {
        run.check(small(random), small(random), small(random), small(random), small(random));
    }
    // Scaled Pythagorean directions, where quotients fall on or near halves
    // and whole numbers.
    const int triples[][2] = {{3, 4}, {5, 12}, {8, 15}, {7, 24}, {20, 21}, {1, 1}, {1, 2}};
    for (const auto& triple : triples) {
        for (int scale = 1; scale <= 40; ++scale) {
            for (int shoulder = -300; shoulder <= 300; ++shoulder) {
                run.check(0, -40, triple[0] * scale, triple[1] * scale - 40, shoulder);
                run.check(0, -40, -triple[0] * scale, -triple[1] * scale - 40, shoulder);
            }
        }
    }
    // The extremes of the range.
    const int extremes[] = {-Limit, -Limit + 1, -1, 0, 1, Limit - 1, Limit};
    for (int hx : extremes)
        for (int hy : extremes)
            for (int px : extremes)
                for (int py : extremes)
                    for (int shoulder : extremes)
                        run.check(hx, hy, px, py, shoulder);

    std::printf("oracle: %ld cases, %ld mismatches\n", run.cases, run.mismatches);
    CHECK(run.cases >= 1000000);
    CHECK(run.mismatches == 0);
}
