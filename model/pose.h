// The stick figure: ten joint points and the shoulder distance, and the small
// geometry that turns them into the points that are drawn.
#pragma once

// A point in client pixels, x to the right, y downwards. As stored in a Pose
// it is an offset from FigureOrigin.
struct Point {
    int x;
    int y;
};

// Every joint offset is relative to this fixed client point; resizing the
// window neither moves nor scales the figure.
constexpr Point FigureOrigin = {100, 100};

// Fields in storage order: the order in which the pose file lists them.
struct Pose {
    Point Head;
    Point Hip;
    int Shoulder; // distance from the head towards the hip at which the arms start
    Point KneeB;
    Point KneeN;
    Point FootV;
    Point FootM;
    Point ArmU;
    Point ArmT;
    Point HandJ;
    Point HandG;
};

// Every run starts from this pose: knees on feet and arm points on hands, so
// each limb shows as one straight segment until one of its points moves.
constexpr Pose DefaultPose = {
    {0, -40},  // Head
    {0, 20},   // Hip
    20,        // Shoulder
    {-20, 50}, // KneeB
    {20, 50},  // KneeN
    {-20, 50}, // FootV
    {20, 50},  // FootM
    {30, 10},  // ArmU
    {-30, 10}, // ArmT
    {30, 10},  // HandJ
    {-30, 10}, // HandG
};

// The selection index, in the order of the key table (Y, SPACE, H, T, U, G, J,
// N, B, M, V), which is not the storage order.
enum class JointId : int {
    Head = 0,
    Hip = 1,
    Shoulder = 2,
    ArmT = 3,
    ArmU = 4,
    HandG = 5,
    HandJ = 6,
    KneeN = 7,
    KneeB = 8,
    FootM = 9,
    FootV = 10,
};
constexpr JointId NoJoint = static_cast<JointId>(-1);
constexpr int JointCount = 11;

// A direction as two doubles.
struct Vector {
    double x;
    double y;
};

// Places a joint: its point becomes (dx, dy); Shoulder takes dy and ignores
// dx; NoJoint changes nothing.
void placeJoint(Pose& pose, JointId id, int dx, int dy);

// FigureOrigin plus the offset: where the joint is drawn.
Point absolutePoint(Point offset);

// The direction from (ax, ay) to (bx, by); (0, 0) when both points are one.
Vector unitVector(int ax, int ay, int bx, int by);

// The client point at which both arms start: Shoulder pixels from the head
// along the line towards the hip.
Point shoulderPoint(const Pose& pose);
