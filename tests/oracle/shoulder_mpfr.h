// shoulderPoint's steps carried out by MPFR, for the oracle test and for the
// table of cases that every build replays.
#pragma once

#include "pose.h"

#include <mpfr.h>

// The significand of the x87 extended type, in which the model evaluates.
constexpr mpfr_prec_t Extended = 64;

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
