// shoulderPoint against the same steps carried out by MPFR with a 64-bit
// significand: round to nearest at every step, to double where the geometry
// says so, truncation at the end. Any difference in a single case fails.
#include "pose.h"
#include "shoulder_cases.h"
#include "shoulder_mpfr.h"

#include <doctest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

struct Run {
    Oracle oracle;
    long cases = 0;
    long mismatches = 0;

    void check(int hx, int hy, int px, int py, int shoulder) {
        const Pose pose = oraclePose({{hx, hy}, {px, py}, shoulder, {}});
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
    forEachExtremePose(
        [&](int hx, int hy, int px, int py, int shoulder) { run.check(hx, hy, px, py, shoulder); });

    std::printf("oracle: %ld cases, %ld mismatches\n", run.cases, run.mismatches);
    CHECK(run.cases >= 1000000);
    CHECK(run.mismatches == 0);
}
