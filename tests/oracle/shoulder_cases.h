// The oracle's table of shoulder points: written on the host by
// make_shoulder_cases with MPFR, replayed by shoulder_oracle_replay against
// the shoulderPoint of each build. Plain text, one case a line:
//
//   head.x head.y hip.x hip.y shoulder x y
//
// the Head and Hip offsets and the Shoulder distance of a pose, then the
// client point at which its arms start. Lines starting with '#' are notes.
// The last line, "end N", gives the number of cases, so that a table cut
// short is told from a whole one.
#pragma once

#include "pose.h"

#include <cstdio>

struct OracleCase {
    Point head;
    Point hip;
    int shoulder;
    Point expected;
};

// The default pose with the case's head, hip and shoulder placed as the
// editor places them.
inline Pose oraclePose(const OracleCase& c) {
    Pose pose = DefaultPose;
    placeJoint(pose, JointId::Head, c.head.x, c.head.y);
    placeJoint(pose, JointId::Hip, c.hip.x, c.hip.y);
    placeJoint(pose, JointId::Shoulder, 0, c.shoulder);
    return pose;
}

inline bool writeOracleCase(std::FILE* file, const OracleCase& c) {
    return std::fprintf(file, "%d %d %d %d %d %d %d\n", c.head.x, c.head.y, c.hip.x, c.hip.y,
                        c.shoulder, c.expected.x, c.expected.y) > 0;
}

inline bool writeOracleEnd(std::FILE* file, long cases) {
    return std::fprintf(file, "end %ld\n", cases) > 0;
}

enum class OracleLine { Case, End, Note, Malformed };

// What one line of the table holds: a case into c, or the end line's count
// into cases.
inline OracleLine readOracleLine(const char* line, OracleCase& c, long& cases) {
    if (line[0] == '#') {
        return OracleLine::Note;
    }
    int used = 0;
    if (std::sscanf(line, "%d %d %d %d %d %d %d %n", &c.head.x, &c.head.y, &c.hip.x, &c.hip.y,
                    &c.shoulder, &c.expected.x, &c.expected.y, &used) == 7 &&
        used > 0 && line[used] == '\0') {
        return OracleLine::Case;
    }
    used = 0;
    if (std::sscanf(line, "end %ld %n", &cases, &used) == 1 && used > 0 && line[used] == '\0') {
        return OracleLine::End;
    }
    return OracleLine::Malformed;
}
