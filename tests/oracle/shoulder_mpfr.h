// shoulderPoint's steps carried out by MPFR, for the oracle test and for the
// table of cases that every build replays.
#pragma once

#include "pose.h"

#include <mpfr.h>

// The significand of the x87 extended type, in which the model evaluates.
constexpr mpfr_prec_t Extended = 64;

// Every offset and distance the input can produce lies within +-Limit.
constexpr int Limit = 65535;

// Calls visit(head x, head y, hip x, hip y, shoulder) for every pose whose
// five values are taken from the edges of that range and its middle.
template <typename Visit> void forEachExtremePose(Visit visit) {
    const int extremes[] = {-Limit, -Limit + 1, -1, 0, 1, Limit - 1, Limit};
    for (int hx : extremes)
        for (int hy : extremes)
            for (int px : extremes)
                for (int py : extremes)
                    for (int shoulder : extremes)
                        visit(hx, hy, px, py, shoulder);
}

// The shoulder point computed with a significand of the given bits: round to
// nearest at every step, to double where the geometry says so, truncation
// towards zero at the end. With 53 bits it is the same steps in plain doubles.
class Oracle {
  public:
    explicit Oracle(mpfr_prec_t precision = Extended);
    ~Oracle();
    Oracle(const Oracle&) = delete;
    Oracle& operator=(const Oracle&) = delete;

    Point shoulder(const Pose& pose);

  private:
    // distance * unit + start, truncated towards zero.
    int along(long distance, double unit, long start);

    mpfr_t a, b, s, len, ux, uy, t;
};
