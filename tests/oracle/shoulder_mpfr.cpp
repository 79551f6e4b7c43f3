#include "shoulder_mpfr.h"

namespace {

// A value rounded to the nearest double.
double toDouble(mpfr_t value) { return mpfr_get_d(value, MPFR_RNDN); }

} // namespace

Oracle::Oracle(mpfr_prec_t precision) {
    mpfr_inits2(precision, a, b, s, len, ux, uy, t, static_cast<mpfr_ptr>(nullptr));
}

Oracle::~Oracle() { mpfr_clears(a, b, s, len, ux, uy, t, static_cast<mpfr_ptr>(nullptr)); }

Point Oracle::shoulder(const Pose& pose) {
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

int Oracle::along(long distance, double unit, long start) {
    mpfr_set_si(a, distance, MPFR_RNDN);
    mpfr_set_d(b, unit, MPFR_RNDN);
    mpfr_mul(t, a, b, MPFR_RNDN);
    mpfr_add_si(t, t, start, MPFR_RNDN);
    return static_cast<int>(mpfr_get_si(t, MPFR_RNDZ));
}
