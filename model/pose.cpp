#include "pose.h"

#include "x87.h"

#include <cmath>
#include <limits>

// Single pixels of the arms depend on evaluating the shoulder point with a
// 64-bit significand; a 53-bit double would put them one pixel off.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the figure's geometry needs the 64-bit x87 extended type");

// The stored point of a joint, or null for Shoulder (a distance) and NoJoint.
static Point* jointPoint(Pose& pose, JointId id) {
    switch (id) {
    case JointId::Head: return &pose.Head;
    case JointId::Hip: return &pose.Hip;
    case JointId::ArmT: return &pose.ArmT;
    case JointId::ArmU: return &pose.ArmU;
    case JointId::HandG: return &pose.HandG;
    case JointId::HandJ: return &pose.HandJ;
    case JointId::KneeN: return &pose.KneeN;
    case JointId::KneeB: return &pose.KneeB;
    case JointId::FootM: return &pose.FootM;
    case JointId::FootV: return &pose.FootV;
    default: // Shoulder is a distance; NoJoint is nothing
        return nullptr;
    }
}

void placeJoint(Pose& pose, JointId id, int dx, int dy) {
    if (id == JointId::Shoulder) {
        pose.Shoulder = dy;
        return;
    }
    if (Point* point = jointPoint(pose, id)) {
        *point = {dx, dy};
    }
}

Point absolutePoint(Point offset) { return {FigureOrigin.x + offset.x, FigureOrigin.y + offset.y}; }

// The geometry proper, run only between the control-word switches of the
// public functions; noipa keeps the compiler from moving its floating point
// across those switches.
__attribute__((noipa)) static void unitVectorExtended(int ax, int ay, int bx, int by,
                                                      Vector* result) {
    // The differences are formed as integers, then converted exactly.
    const double dx = static_cast<double>(static_cast<long long>(bx) - ax);
    const double dy = static_cast<double>(static_cast<long long>(by) - ay);
    const long double s = static_cast<long double>(dx) * dx + static_cast<long double>(dy) * dy;
    if (s == 0.0L) {
        *result = {dx, dy}; // both points are one: (0, 0), and no division
        return;
    }
    const double length = static_cast<double>(std::sqrt(s));
    result->x = static_cast<double>(dx / static_cast<long double>(length));
    result->y = static_cast<double>(dy / static_cast<long double>(length));
}

// The thread's x87 precision may be 53 bits (Windows starts new threads so, and
// a loaded DLL may change it): switch to 64 bits and nearest rounding for the
// computation, and give the caller's setting back afterwards.
Vector unitVector(int ax, int ay, int bx, int by) {
    const unsigned short callers = x87ControlWord();
    setX87ControlWord(extendedNearest(callers));
    Vector result;
    unitVectorExtended(ax, ay, bx, by, &result);
    setX87ControlWord(callers);
    return result;
}

// Runs between shoulderPoint's switches, like unitVectorExtended; the
// direction comes from unitVector, whose own switch finds 64 bits already set.
__attribute__((noipa)) static void shoulderPointExtended(const Pose* pose, Point* result) {
    const Point head = absolutePoint(pose->Head);
    const Point hip = absolutePoint(pose->Hip);
    const Vector direction = unitVector(head.x, head.y, hip.x, hip.y);
    // Product and sum stay extended; the conversion truncates towards zero.
    const long double x = static_cast<long double>(pose->Shoulder) * direction.x + head.x;
    const long double y = static_cast<long double>(pose->Shoulder) * direction.y + head.y;
    *result = {static_cast<int>(x), static_cast<int>(y)};
}

Point shoulderPoint(const Pose& pose) {
    const unsigned short callers = x87ControlWord();
    setX87ControlWord(extendedNearest(callers));
    Point result;
    shoulderPointExtended(&pose, &result);
    setX87ControlWord(callers);
    return result;
}
