// Saving when 1.txt cannot be written: the stream error box, the file and the
// pose as they were, editing going on, and a complete file once the cause is
// gone. Each fault is a test case of its own: some are made from the Linux
// side, which Wine lets a test do, and run only there (tests/CMakeLists.txt).
#include "harness.h"
#include "program.h"

#include <doctest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void drag(HWND window, int key, int x, int y) {
    pressKey(window, key);
    deliver(window, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(x, y));
    moveMouse(window, x, y);
    deliver(window, WM_LBUTTONUP, 0, pointerAt(x, y));
}

void checkStreamErrorBox(const MessageBoxRecord& box) {
    CHECK(box.caption == "stream error");
    CHECK(box.text == "error");
    CHECK(box.owner == nullptr);
    CHECK(box.visibleButtons == 1);
    CHECK(box.buttonText == "OK");
}

bool notWritable(const char* path) { return !writable(path); }
bool missing(const char* path) { return !exists(path); }

// Enter with the fault in place, then editing, then Enter once clear() has
// taken the fault away. fileUnchanged tells whether 1.txt is as it was.
void saveThroughFault(HWND window, const ScratchDirectory& scratch, bool (*fileUnchanged)(),
                      void (*clear)()) {
    drag(window, 'N', 10, 20); // a pose of its own, not the default
    const Pose before = pose;
    {
        MessageBoxWatch watch;
        pressKey(window, VK_RETURN);
        REQUIRE(watch.boxes.size() == 1);
        checkStreamErrorBox(watch.boxes[0]);
    }
    CHECK(samePose(pose, before));
    CHECK(fileUnchanged());
    drag(window, 'Y', 50, 40); // editing goes on
    CHECK(pose.Head.x == expectedDragOffset(50, 40).x);
    clear();
    MessageBoxWatch watch;
    pressKey(window, VK_RETURN);
    CHECK(watch.boxes.empty());
    CHECK(scratch.read("1.txt") == poseRecord(pose));
}

const char Previous[] = "previous pose";
const ScratchDirectory* current = nullptr;
HANDLE holder = nullptr;

void writePrevious() {
    HANDLE file = CreateFileA("1.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    WriteFile(file, Previous, sizeof Previous - 1, &written, nullptr);
    CloseHandle(file);
}

bool previousKept() { return current->read("1.txt") == Previous; }
bool stillAbsent() { return current->read("1.txt") == "(missing)" && !exists("1.txt"); }
bool directoryKept() {
    const DWORD attributes = GetFileAttributesA("1.txt");
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
// Wine reports no attributes for a device, but opens it.
bool opens(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (file) {
        std::fclose(file);
    }
    return file != nullptr;
}
bool doesNotOpen(const char* path) { return !opens(path); }
bool deviceLinkKept() { return opens("1.txt"); }
bool stillHeld() { return !writable("1.txt"); }

std::string fullPath(const char* name) { return current->path + "\\" + name; }

// Under Wine the file is made read-only from the Linux side, by the command
// that knows how on this machine (root ignores permission bits: it sets the
// immutable flag), and the test runs only where that works (machine.sh can
// readonly); on Windows the read-only attribute does it.
void makeReadOnly(bool readOnly) {
    if (!underWine()) {
        SetFileAttributesA("1.txt", readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        return;
    }
    const char* machine = std::getenv("ZIRNA_MACHINE");
    startUnixCommand(
        std::string("/bin/bash \"") + (machine ? machine : "ZIRNA_MACHINE is not set") +
        (readOnly ? "\" lock \"" : "\" unlock \"") + unixPath(fullPath("1.txt")) + "\"");
}

} // namespace

TEST_CASE("save faults: a read-only 1.txt") {
    MainWindow main;
    ScratchDirectory scratch("fault-readonly");
    current = &scratch;
    writePrevious();
    makeReadOnly(true);
    REQUIRE(waitUntil(notWritable, "1.txt"));
    saveThroughFault(main.handle, scratch, previousKept, [] {
        makeReadOnly(false);
        REQUIRE(waitUntil(writable, "1.txt"));
    });
}

TEST_CASE("save faults: a directory named 1.txt") {
    MainWindow main;
    ScratchDirectory scratch("fault-directory");
    current = &scratch;
    CreateDirectoryA("1.txt", nullptr);
    saveThroughFault(main.handle, scratch, directoryKept,
                     [] { REQUIRE(RemoveDirectoryA("1.txt")); });
}

TEST_CASE("save faults: 1.txt held open without sharing by another process") {
    MainWindow main;
    ScratchDirectory scratch("fault-held");
    current = &scratch;
    writePrevious();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string probe = self;
    probe = probe.substr(0, probe.rfind('\\')) + "\\zirna-probe.exe hold 1.txt";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    REQUIRE(CreateProcessA(nullptr, &probe[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process));
    CloseHandle(process.hThread);
    holder = process.hProcess;
    REQUIRE(waitUntil(notWritable, "1.txt"));
    // Nobody can read the file while it is held: its content is checked once
    // it is released.
    saveThroughFault(main.handle, scratch, stillHeld, [] {
        TerminateProcess(holder, 0);
        WaitForSingleObject(holder, INFINITE);
        CloseHandle(holder);
        REQUIRE(waitUntil(writable, "1.txt"));
        CHECK(previousKept());
    });
}

// Linux's full device, reached through Wine's drive Z:. (In a process of its
// own: after writing to a full device, Wine reports a screen of no size to
// later windows of the process.)
TEST_CASE("save faults: 1.txt on a full device") {
    MainWindow main;
    ScratchDirectory scratch("fault-full");
    current = &scratch;
    startUnixCommand("/bin/ln -sf /dev/full \"" + unixPath(fullPath("1.txt")) + "\"");
    REQUIRE(waitUntil(opens, "1.txt"));
    saveThroughFault(main.handle, scratch, deviceLinkKept, [] {
        startUnixCommand("/bin/rm \"" + unixPath(fullPath("1.txt")) + "\""); // the link only
        REQUIRE(waitUntil(doesNotOpen, "1.txt"));
    });
}

// Linux lets another program remove a process's current directory; Windows
// does not (the directory is open while it is current).
TEST_CASE("save faults: a current directory removed after start") {
    MainWindow main;
    ScratchDirectory scratch("fault-removed");
    current = &scratch;
    startUnixCommand("/bin/rm -rf \"" + unixPath(scratch.path) + "\"");
    REQUIRE(waitUntil(missing, scratch.path.c_str()));
    saveThroughFault(main.handle, scratch, stillAbsent,
                     [] { REQUIRE(CreateDirectoryA(current->path.c_str(), nullptr)); });
}

namespace {

HWND reentryWindow = nullptr;
MessageBoxWatch* reentryWatch = nullptr;

// While the first box is up: the main window is clicked active and Enter is
// pressed there; the second save runs inside the first box's loop.
void clickMainAndSaveAgain(HWND) {
    if (reentryWatch->boxes.size() != 1) {
        return;
    }
    SetForegroundWindow(reentryWindow);
    PostMessageA(reentryWindow, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(200, 200));
    PostMessageA(reentryWindow, WM_LBUTTONUP, 0, pointerAt(200, 200));
    PostMessageA(reentryWindow, WM_KEYDOWN, VK_RETURN, 1);
    pumpMessages();
}

} // namespace

TEST_CASE("save faults: a second save inside the first box's loop") {
    MainWindow main;
    ScratchDirectory scratch("fault-reentry");
    CreateDirectoryA("1.txt", nullptr);
    reentryWindow = main.handle;
    {
        MessageBoxWatch watch;
        reentryWatch = &watch;
        watch.whileShown = clickMainAndSaveAgain;
        pressKey(main.handle, VK_RETURN);
        REQUIRE(watch.boxes.size() == 2);
        checkStreamErrorBox(watch.boxes[0]);
        checkStreamErrorBox(watch.boxes[1]);
    }
    CHECK(IsWindow(main.handle));
    CHECK(samePose(pose, DefaultPose));
    CHECK(editorState.dragging == 0);
    RemoveDirectoryA("1.txt");
    pressKey(main.handle, VK_RETURN);
    CHECK(scratch.read("1.txt").size() == 69);
}
