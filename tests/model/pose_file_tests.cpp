// The pose file: its exact bytes, and what happens when it cannot be written.
#include "pose_file.h"

#include <doctest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char DefaultRecord[] = "0,-40,0,20,20\r\n"
                             "-20,50,20\r\n"
                             "50,-20,50,20\r\n"
                             "50,30,10,-30,10\r\n"
                             "30,10,-30,10";

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh, empty directory of the test's own, removed afterwards.
struct Scratch {
    fs::path dir;
    explicit Scratch(const std::string& name, const fs::path& base = fs::current_path() / "scratch")
        : dir(base / name) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string file(const char* name) const { return (dir / name).string(); }
};

Pose poseOfValues(const int (&values)[21]) {
    Pose pose;
    static_assert(sizeof(Pose) == sizeof values, "a Pose is its 21 integers");
    std::memcpy(&pose, values, sizeof pose);
    return pose;
}

} // namespace

TEST_CASE("the default pose gives five lines, 69 bytes") {
    Scratch scratch("default");
    REQUIRE(writePoseFile(scratch.file("1.txt").c_str(), DefaultPose));
    const std::string bytes = readBytes(scratch.file("1.txt"));
    CHECK(bytes.size() == 69);
    CHECK(bytes == DefaultRecord);
}

TEST_CASE("values are printed in storage order, whole, without padding") {
    Scratch scratch("values");
    const int values[21] = {
        0, -1, 1, 2147483647, -2147483647 - 1, 65435, -65435, 100, -100, 10, -10,
        7, 0,  0, 123456789,  999999999,       -5,    6,      -7,  8,    -9};
    REQUIRE(writePoseFile(scratch.file("1.txt").c_str(), poseOfValues(values)));
    CHECK(readBytes(scratch.file("1.txt")) == "0,-1,1,2147483647,-2147483648\r\n"
                                              "65435,-65435,100\r\n"
                                              "-100,10,-10,7\r\n"
                                              "0,0,123456789,999999999,-5\r\n"
                                              "6,-7,8,-9");
}

TEST_CASE("saving again truncates: the file holds only the latest pose") {
    Scratch scratch("truncate");
    const std::string path = scratch.file("1.txt");
    writeBytes(path, std::string(500, 'x'));
    int big[21];
    for (int& value : big) {
        value = -2147483647;
    }
    REQUIRE(writePoseFile(path.c_str(), poseOfValues(big)));
    CHECK(readBytes(path).size() == 21 * 11 + 16 + 4 * 2);
    REQUIRE(writePoseFile(path.c_str(), DefaultPose));
    CHECK(readBytes(path) == DefaultRecord);
}

TEST_CASE("a target that cannot be opened is reported and left alone") {
    SUBCASE("a directory named 1.txt") {
        Scratch scratch("directory");
        const std::string path = scratch.file("1.txt");
        fs::create_directory(path);
        CHECK_FALSE(writePoseFile(path.c_str(), DefaultPose));
        CHECK(fs::is_directory(path));
    }
    SUBCASE("a directory that does not exist") {
        Scratch scratch("missing");
        const std::string path = scratch.file("gone/1.txt");
        CHECK_FALSE(writePoseFile(path.c_str(), DefaultPose));
        CHECK_FALSE(fs::exists(scratch.dir / "gone"));
    }
}

// A full device: the open succeeds, the write does not. It must not pass for a
// saved pose, and the device itself must not be removed.
TEST_CASE("a full device is reported as a failure") {
#ifdef _WIN32
    const char* device = "Z:\\dev\\full"; // Wine maps drive Z: to the root
#else
    const char* device = "/dev/full";
#endif
    const auto deviceOpens = [device] {
        FILE* file = std::fopen(device, "rb");
        if (file) {
            std::fclose(file);
        }
        return file != nullptr;
    };
    REQUIRE(deviceOpens());
    CHECK_FALSE(writePoseFile(device, DefaultPose));
    CHECK(deviceOpens());
}

#ifndef _WIN32
// A 1.txt that this user may write but not read is the user's file all the
// same: a save that opens it and then fails must not remove it. The save runs
// in a child process that is not root (root reads anything) and may write no
// more than 16 bytes to any file, so the write fails part-way.
TEST_CASE("a failed save keeps a 1.txt that it could not read") {
    // In the temporary directory, which every user can reach (a build tree
    // may lie where only its owner can).
    Scratch scratch("zirna-writeonly-" + std::to_string(getpid()), fs::temp_directory_path());
    const std::string path = scratch.file("1.txt");
    writeBytes(path, "previous pose");
    chmod(scratch.dir.c_str(), 0777);
    chmod(path.c_str(), 0222);
    enum { Kept = 0, Removed = 1, NotWriteOnly = 2, Saved = 3 };
    const pid_t child = fork();
    REQUIRE(child >= 0);
    if (child == 0) {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (setuid(nobody ? nobody->pw_uid : 65534) != 0) {
                _exit(NotWriteOnly);
            }
        }
        if (access(path.c_str(), W_OK) != 0 || access(path.c_str(), R_OK) == 0) {
            _exit(NotWriteOnly);
        }
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (writePoseFile(path.c_str(), DefaultPose)) {
            _exit(Saved);
        }
        _exit(access(path.c_str(), F_OK) == 0 ? Kept : Removed);
    }
    int status = 0;
    REQUIRE(waitpid(child, &status, 0) == child);
    REQUIRE(WIFEXITED(status));
    REQUIRE(WEXITSTATUS(status) != NotWriteOnly);
    CHECK(WEXITSTATUS(status) != Saved);
    CHECK(WEXITSTATUS(status) == Kept);
    CHECK(fs::exists(path));
}

// Made read-only by the test command's machine.sh (ZIRNA_MACHINE), which knows
// how for this user: root ignores permission bits.
TEST_CASE("a read-only 1.txt is reported and keeps its content") {
    const char* machine = std::getenv("ZIRNA_MACHINE");
    REQUIRE(machine != nullptr);
    Scratch scratch("readonly");
    const std::string path = scratch.file("1.txt");
    writeBytes(path, "previous");
    const std::string file = " '" + path + "'";
    REQUIRE(std::system((machine + std::string(" lock") + file).c_str()) == 0);
    const bool written = writePoseFile(path.c_str(), DefaultPose);
    std::system((machine + std::string(" unlock") + file).c_str());
    CHECK_FALSE(written);
    CHECK(readBytes(path) == "previous");
}
#else
// Another program holding 1.txt open without sharing: the open fails.
TEST_CASE("a 1.txt held open without sharing is reported and keeps its content") {
    Scratch scratch("held");
    const std::string path = scratch.file("1.txt");
    writeBytes(path, "previous");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    const bool written = writePoseFile(path.c_str(), DefaultPose);
    CloseHandle(held);
    CHECK_FALSE(written);
    CHECK(readBytes(path) == "previous");
    CHECK(writePoseFile(path.c_str(), DefaultPose)); // once released, saving works again
}
#endif
