// shoulderPoint as built here against the table of MPFR results that the
// host build writes (tests/oracle/make_shoulder_cases.cpp): every case must
// agree. The table matters most for the Windows builds, whose extended
// precision the host's oracle test cannot reach. Each case is computed twice:
// under the x87 setting the program started with, and under 53 bits rounding
// upwards, a setting that a caller may hand it (Windows starts new threads
// with 53 bits) and that shoulderPoint must set aside.
//
//   shoulder_oracle_replay [TABLE]     (else the table ZIRNA_ORACLE_CASES names)
//
// Exits 0 when every case agrees; 1 on a mismatch, or a table that is
// malformed, cut short or too small; 77, which CTest reports as skipped,
// when there is no table to replay.
#include "pose.h"
#include "shoulder_cases.h"
#include "x87.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long MinimumCases = 100000;
constexpr long MismatchesShown = 10;
constexpr int Skipped = 77;
constexpr unsigned short X87Precision53 = 0x0200;
constexpr unsigned short X87RoundUpwards = 0x0800;

bool same(Point a, Point b) { return a.x == b.x && a.y == b.y; }

} // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : std::getenv("ZIRNA_ORACLE_CASES");
    if (!path || path[0] == '\0') {
        std::printf("skipped: no oracle table given (ZIRNA_ORACLE_CASES names the one that the "
                    "host preset makes)\n");
        return Skipped;
    }
    std::FILE* table = std::fopen(path, "r");
    if (!table) {
        if (errno == ENOENT) {
            std::printf("skipped: no oracle table at %s (the host preset makes it)\n", path);
            return Skipped;
        }
        std::printf("cannot read the oracle table %s: %s\n", path, std::strerror(errno));
        return 1;
    }

    const unsigned short startup = x87ControlWord();
    const unsigned short callers = static_cast<unsigned short>(
        (startup & ~(X87PrecisionMask | X87RoundingMask)) | X87Precision53 | X87RoundUpwards);
    long cases = 0, mismatches = 0, lineNumber = 0;
    long declared = -1; // the count of the end line, once read
    bool malformed = false;
    char line[256];
    while (!malformed && std::fgets(line, sizeof line, table)) {
        ++lineNumber;
        OracleCase c;
        long count = 0;
        const OracleLine kind = readOracleLine(line, c, count);
        if (kind == OracleLine::Note) {
            continue;
        }
        if (kind == OracleLine::Malformed || declared >= 0) {
            line[std::strcspn(line, "\r\n")] = '\0';
            std::printf("%s:%ld: %s: %s\n", path, lineNumber,
                        declared >= 0 ? "after the end line" : "not a case", line);
            malformed = true;
        } else if (kind == OracleLine::End) {
            declared = count;
        } else {
            ++cases;
            const Pose pose = oraclePose(c);
            const Point asStarted = shoulderPoint(pose);
            setX87ControlWord(callers);
            const Point underCallers = shoulderPoint(pose);
            setX87ControlWord(startup);
            if ((!same(asStarted, c.expected) || !same(underCallers, c.expected)) &&
                ++mismatches <= MismatchesShown) {
                std::printf("mismatch on line %ld: head (%d,%d) hip (%d,%d) shoulder %d: "
                            "oracle (%d,%d), shoulderPoint (%d,%d), and (%d,%d) when called "
                            "with 53 bits rounding upwards\n",
                            lineNumber, c.head.x, c.head.y, c.hip.x, c.hip.y, c.shoulder,
                            c.expected.x, c.expected.y, asStarted.x, asStarted.y, underCallers.x,
                            underCallers.y);
            }
        }
    }
    const bool unreadable = std::ferror(table) != 0;
    std::fclose(table);

    if (unreadable) {
        std::printf("reading %s failed\n", path);
        return 1;
    }
    if (malformed) {
        return 1;
    }
    if (declared < 0) {
        std::printf("the table ends without its end line: cut short?\n");
        return 1;
    }
    if (declared != cases) {
        std::printf("the end line counts %ld cases\n", declared);
        return 1;
    }
    if (cases < MinimumCases) {
        std::printf("fewer than %ld cases: not the table that the host preset makes\n",
                    MinimumCases);
        return 1;
    }
    // The last line, printed only by a replay of the whole table.
    std::printf("oracle replay: %ld cases, %ld mismatches\n", cases, mismatches);
    return mismatches == 0 ? 0 : 1;
}
