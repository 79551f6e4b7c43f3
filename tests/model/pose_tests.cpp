// The figure model: joint placement and the extended-precision shoulder point.
#include "pose.h"
#include "x87.h"

#include <doctest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

// Runtime values, so that nothing below can be folded at compile time.
volatile int runtimeZero = 0;

int runtime(int value) { return value + runtimeZero; }

Pose poseWith(int headX, int headY, int hipX, int hipY, int shoulder) {
    Pose pose = DefaultPose;
    placeJoint(pose, JointId::Head, runtime(headX) - FigureOrigin.x,
               runtime(headY) - FigureOrigin.y);
    placeJoint(pose, JointId::Hip, runtime(hipX) - FigureOrigin.x, runtime(hipY) - FigureOrigin.y);
    placeJoint(pose, JointId::Shoulder, 0, runtime(shoulder));
    return pose;
}

unsigned short x87StatusWord() {
    unsigned short word;
    __asm__ __volatile__("fnstsw %0" : "=m"(word) : : "memory");
    return word;
}

void clearX87Exceptions() { __asm__ __volatile__("fnclex" : : : "memory"); }

// Precision settings that a caller may leave in the control word.
constexpr unsigned short X87Precision24 = 0x0000;
constexpr unsigned short X87Precision53 = 0x0200;

constexpr unsigned short X87InvalidOperation = 0x01;
constexpr unsigned short X87ZeroDivide = 0x04;

struct ShoulderCase {
    int shoulder;
    Point expected;
};

// Head (100, 60), hip (130, 100): the direction is (0.6, 0.8) as doubles, the
// first a little below 0.6 and the second a little above 0.8. Plain double
// arithmetic would give x = 103, 106 and 112 for the first three.
const ShoulderCase slantedSpine[] = {
    {5, {102, 64}},
    {10, {105, 68}},
    {20, {111, 76}},
    {-7, {95, 54}},
};

void checkSlantedSpine() {
    for (const ShoulderCase& c : slantedSpine) {
        CAPTURE(c.shoulder);
        const Point s = shoulderPoint(poseWith(100, 60, 130, 100, c.shoulder));
        CHECK(s.x == c.expected.x);
        CHECK(s.y == c.expected.y);
    }
}

} // namespace

TEST_CASE("the default pose") {
    const Pose pose = DefaultPose;
    CHECK(absolutePoint(pose.Head).x == 100);
    CHECK(absolutePoint(pose.Head).y == 60);
    CHECK(absolutePoint(pose.Hip).x == 100);
    CHECK(absolutePoint(pose.Hip).y == 120);
    const Point s = shoulderPoint(pose);
    CHECK(s.x == 100);
    CHECK(s.y == 80);
}

TEST_CASE("the shoulder point is evaluated with a 64-bit significand") { checkSlantedSpine(); }

TEST_CASE("the shoulder point does not depend on the caller's x87 setting") {
    const unsigned short original = x87ControlWord();
    const unsigned short settings[] = {
        static_cast<unsigned short>((original & ~X87PrecisionMask) | X87Precision53),
        static_cast<unsigned short>((original & ~X87PrecisionMask) | X87Precision24),
        // 53 bits and rounding upwards
        static_cast<unsigned short>((original & ~(X87PrecisionMask | X87RoundingMask)) |
                                    X87Precision53 | 0x0800),
    };
    for (unsigned short setting : settings) {
        CAPTURE(setting);
        setX87ControlWord(setting);
        checkSlantedSpine();
        const Vector u = unitVector(runtime(100), runtime(60), runtime(130), runtime(100));
        const unsigned short after = x87ControlWord();
        setX87ControlWord(original);
        CHECK(after == setting); // the caller's setting is given back
        CHECK(u.x == 0.6);
        CHECK(u.y == 0.8);
    }
    CHECK(x87ControlWord() == original);
}

TEST_CASE("unitVector") {
    SUBCASE("a 3-4-5 triangle gives the doubles nearest 0.6 and 0.8") {
        const Vector u = unitVector(runtime(0), runtime(0), runtime(3), runtime(4));
        CHECK(u.x == 0.6);
        CHECK(u.y == 0.8);
        CHECK(u.x < 0.6L); // the double nearest 0.6 lies below it ...
        CHECK(u.y > 0.8L); // ... and the one nearest 0.8 above it
    }
    SUBCASE("axis-aligned directions are exact") {
        CHECK(unitVector(runtime(5), runtime(5), runtime(-70000), runtime(5)).x == -1.0);
        CHECK(unitVector(runtime(5), runtime(5), runtime(5), runtime(9)).y == 1.0);
    }
    SUBCASE("one point twice gives (0, 0) without a division") {
        clearX87Exceptions();
        const Vector u = unitVector(runtime(7), runtime(-3), runtime(7), runtime(-3));
        CHECK((x87StatusWord() & (X87InvalidOperation | X87ZeroDivide)) == 0);
        CHECK(u.x == 0.0);
        CHECK(u.y == 0.0);
    }
}

TEST_CASE("head on hip: the shoulder point is the head's point whatever Shoulder holds") {
    for (int shoulder : {0, 20, -65535, 65535, INT32_MAX}) {
        CAPTURE(shoulder);
        clearX87Exceptions();
        const Point s = shoulderPoint(poseWith(37, -12, 37, -12, shoulder));
        CHECK((x87StatusWord() & (X87InvalidOperation | X87ZeroDivide)) == 0);
        CHECK(s.x == 37);
        CHECK(s.y == -12);
    }
}

TEST_CASE("fractional positions are truncated towards zero") {
    // Head at client (0, 0), hip at (-30, -40): the direction is (-0.6, -0.8).
    SUBCASE("-3.6 and -4.8 give -3 and -4") {
        const Point s = shoulderPoint(poseWith(0, 0, -30, -40, 6));
        CHECK(s.x == -3);
        CHECK(s.y == -4);
    }
    SUBCASE("just above -3 gives -2, just below -4 gives -4") {
        const Point s = shoulderPoint(poseWith(0, 0, -30, -40, 5));
        CHECK(s.x == -2);
        CHECK(s.y == -4);
    }
    SUBCASE("a negative Shoulder reaches beyond the head, away from the hip") {
        const Point s = shoulderPoint(poseWith(100, 60, 100, 120, -10));
        CHECK(s.x == 100);
        CHECK(s.y == 50);
    }
}

TEST_CASE("placeJoint") {
    SUBCASE("each id moves its own point and nothing else") {
        struct Field {
            JointId id;
            Point Pose::*point;
        };
        const Field fields[] = {
            {JointId::Head, &Pose::Head},   {JointId::Hip, &Pose::Hip},
            {JointId::ArmT, &Pose::ArmT},   {JointId::ArmU, &Pose::ArmU},
            {JointId::HandG, &Pose::HandG}, {JointId::HandJ, &Pose::HandJ},
            {JointId::KneeN, &Pose::KneeN}, {JointId::KneeB, &Pose::KneeB},
            {JointId::FootM, &Pose::FootM}, {JointId::FootV, &Pose::FootV},
        };
        for (const Field& field : fields) {
            CAPTURE(static_cast<int>(field.id));
            Pose pose = DefaultPose;
            placeJoint(pose, field.id, runtime(-65435), runtime(65435));
            CHECK((pose.*field.point).x == -65435);
            CHECK((pose.*field.point).y == 65435);
            pose.*field.point = (DefaultPose.*field.point);
            CHECK(std::memcmp(&pose, &DefaultPose, sizeof pose) == 0);
        }
    }
    SUBCASE("Shoulder takes dy and ignores dx") {
        Pose pose = DefaultPose;
        placeJoint(pose, JointId::Shoulder, runtime(500), runtime(-12));
        CHECK(pose.Shoulder == -12);
        pose.Shoulder = DefaultPose.Shoulder;
        CHECK(std::memcmp(&pose, &DefaultPose, sizeof pose) == 0);
    }
    SUBCASE("NoJoint changes nothing") {
        Pose pose = DefaultPose;
        placeJoint(pose, NoJoint, runtime(1), runtime(2));
        CHECK(std::memcmp(&pose, &DefaultPose, sizeof pose) == 0);
    }
}
