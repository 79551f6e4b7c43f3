// zirna-bench-driver: the Windows side of bench/run.sh. It starts a program as
// its own child process, measures it from outside, and ends it again. Every
// measure runs the program under test (A, zirna) and the baseline (B, the
// same window with nothing drawn) in turn, pair after pair, and prints the
// two medians on one line for run.sh's table. The pixels it checks are read
// through each window's own device context.
//
//   zirna-bench-driver start A.exe B.exe PAIRS
//       process creation to the first finished paint shown in the window, in
//       ms: "start <median A> <median B> <pairs>"
//   zirna-bench-driver drag A.exe B.exe PAIRS STEPS
//       one drag step (a mouse move sent to the window, then its repaint
//       forced and waited for), in µs; each program gets a fresh process and
//       STEPS timed steps per pair: "drag <median A> <median B> <pairs> <steps>"
//   zirna-bench-driver idle A.exe B.exe PAIRS SECONDS
//       CPU time (user + kernel) used while the shown window sits idle, in ms:
//           "idle <median A> <median B> <pairs> <seconds>"
//
// For the run the driver raises the system timer's resolution to 1 ms, so
// that a poll's Sleep(1) lasts about 1 ms on Windows too (15.6 ms by
// default); it times Sleep(1) first and prints what it found. Lines
// beginning "check" say what was verified or found on the way; a failed
// check ends the driver with exit status 1.
#include "child_window.h"
#include "editor.h"
#include "paint.h"

#include <windows.h>
#include <mmsystem.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD FirstPaintTimeoutMs = 20000;
constexpr UINT ReplyTimeoutMs = 5000;
constexpr DWORD ExitTimeoutMs = 10000;
constexpr DWORD SettleMs = 300;      // after a program exits, before the next one starts
constexpr DWORD IdleSettleMs = 1000; // after the first paint, before idle time is counted
constexpr int WarmUpSteps = 100;     // untimed drag steps before each timed block
constexpr int DragMargin = 20;       // drag positions keep this far from the client's edges
constexpr DWORD PollMs = 1;          // the pause between polls for a first paint
constexpr UINT TimerPeriodMs = 1;    // asked of the system timer, so that PollMs holds
constexpr int PollSamples = 100;     // Sleep(PollMs) calls timed at the start
constexpr int RepaintPolls = 100;    // tries, 10 ms apart, for the window to show a repaint
constexpr COLORREF White = RGB(255, 255, 255);
constexpr double MsPer100ns = 1e-4; // the process list counts CPU time in 100 ns units
constexpr NTSTATUS InfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct Program {
    const char* path;
    bool drawsFigure; // zirna draws the default figure; the baseline nothing
};

struct Child {
    PROCESS_INFORMATION process;
    HWND window;
};

[[noreturn]] void fail(const char* what, const char* path) {
    std::printf("check FAILED: %s (%s)\n", what, path);
    std::exit(1);
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

LARGE_INTEGER now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter;
}

double secondsSince(LARGE_INTEGER start) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now().QuadPart - start.QuadPart) / frequency.QuadPart;
}

// A client point that both programs paint white: above and left of the figure.
POINT backgroundPoint() { return {FigureOrigin.x / 2, FigureOrigin.y / 4}; }

// A point on the default figure's spine, between the head's disc and the hip:
// dark once zirna's first paint shows in its window, white in the baseline's.
POINT spinePoint() {
    const Point head = absolutePoint(DefaultPose.Head);
    const Point hip = absolutePoint(DefaultPose.Hip);
    return {head.x, (head.y + HeadRadius + hip.y) / 2};
}

bool nothingToPaint(HWND window) {
    RECT update;
    return !GetUpdateRect(window, &update, FALSE);
}

// A message sent to the window is handled only where its thread next takes
// messages: once it is answered, a paint that was under way has ended.
bool backInMessageLoop(HWND window) {
    DWORD_PTR result;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ReplyTimeoutMs, &result) != 0;
}

// Under Wine the window reads black until the program paints it.
bool backgroundShown(HWND window) { return clientPixel(window, backgroundPoint()) == White; }

// The same test for both programs: the window is shown, has nothing left to
// paint, its thread is back in its message loop, and its device context shows
// the program's first picture at two points: the white background, and the
// figure's spine dark for zirna, white for the baseline. (Wine can show the
// erased background a moment before the figure drawn over it.)
bool firstPaintShown(HWND window, const Program& program) {
    return IsWindowVisible(window) && nothingToPaint(window) && backInMessageLoop(window) &&
           nothingToPaint(window) && backgroundShown(window) &&
           isDark(clientPixel(window, spinePoint())) == program.drawsFigure;
}

Child launch(const Program& program) {
    Child child = {};
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = std::string("\"") + program.path + "\"";
    if (!CreateProcessA(program.path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child.process)) {
        fail("cannot start the program", program.path);
    }
    return child;
}

// Polls, giving the CPU away between polls, until the child's first paint
// shows. Returns whether the window was seen shown but still unpainted.
bool waitForFirstPaint(Child& child, const Program& program) {
    const DWORD started = GetTickCount();
    bool unpaintedSeen = false;
    for (;;) {
        if (!child.window) {
            child.window = shownWindowOf(child.process.dwProcessId);
        }
        if (child.window) {
            if (firstPaintShown(child.window, program)) {
                return unpaintedSeen;
            }
            unpaintedSeen = unpaintedSeen || isDark(clientPixel(child.window, backgroundPoint()));
        }
        if (GetTickCount() - started > FirstPaintTimeoutMs) {
            fail("no painted main window", program.path);
        }
        Sleep(PollMs);
    }
}

void close(Child& child, const Program& program) {
    PostMessageA(child.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(child.process.hProcess, ExitTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(child.process.hProcess, 1);
        fail("the program did not exit on WM_CLOSE", program.path);
    }
    CloseHandle(child.process.hThread);
    CloseHandle(child.process.hProcess);
    Sleep(SettleMs);
}

// The process's CPU time so far, user and kernel, in 100 ns units (Wine
// counts it in 10 ms ticks). GetProcessTimes on another process does not
// advance under Wine; the system's process list does.
LONGLONG cpuTime(DWORD processId) {
    std::vector<unsigned char> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
           InfoLengthMismatch) {
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    }
    if (status < 0) {
        fail("NtQuerySystemInformation failed", "process list");
    }
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[offset]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) {
            return entry->UserTime.QuadPart + entry->KernelTime.QuadPart;
        }
        if (entry->NextEntryOffset == 0) {
            fail("process not in the process list", "process list");
        }
        offset += entry->NextEntryOffset;
    }
}

// ---- the poll step ----

// What Sleep(PollMs) lasts, in ms: the median of PollSamples calls, timed with
// the performance counter.
double pollStepMs() {
    std::vector<double> samples;
    for (int i = 0; i < PollSamples; ++i) {
        const LARGE_INTEGER start = now();
        Sleep(PollMs);
        samples.push_back(secondsSince(start) * 1000);
    }
    return median(samples);
}

// Raises the system timer's resolution for the rest of the run: Windows ends
// a sleep only on a tick of that timer, every 15.6 ms unless raised. Then
// times the poll step that the measure gets.
void raiseTimerResolution(const char* measure) {
    if (timeBeginPeriod(TimerPeriodMs) != TIMERR_NOERROR) {
        fail("the system timer's resolution cannot be raised", "timeBeginPeriod");
    }
    std::printf("check poll: Sleep(%lu) lasts %.2f ms (median of %d), for the %s measure\n", PollMs,
                pollStepMs(), PollSamples, measure);
}

// ---- start to first paint ----

// Returns ms from process creation to the first finished paint; counts the
// runs in which the window was seen shown before it was painted.
double timeStart(const Program& program, int& unpaintedSeen) {
    const LARGE_INTEGER start = now();
    Child child = launch(program);
    unpaintedSeen += waitForFirstPaint(child, program);
    const double ms = secondsSince(start) * 1000;
    close(child, program);
    return ms;
}

void measureStart(const Program& a, const Program& b, int pairs) {
    int unused = 0;
    timeStart(a, unused); // warm-up: the file cache and Wine's first use of each exe
    timeStart(b, unused);
    std::vector<double> timesA, timesB;
    int unpaintedA = 0, unpaintedB = 0;
    for (int pair = 0; pair < pairs; ++pair) {
        timesA.push_back(timeStart(a, unpaintedA));
        timesB.push_back(timeStart(b, unpaintedB));
    }
    std::printf("check start: window seen shown but still black before its first paint: "
                "A %d/%d, B %d/%d runs\n",
                unpaintedA, pairs, unpaintedB, pairs);
    std::printf("start %.2f %.2f %d\n", median(timesA), median(timesB), pairs);
}

// ---- drag step ----

// Step i's pointer position, in client coordinates: always inside the client
// area, and never the same twice in a row.
LPARAM dragPosition(const RECT& client, int step) {
    const int width = client.right - 2 * DragMargin;
    const int height = client.bottom - 2 * DragMargin;
    return MAKELPARAM(DragMargin + (step * 7) % width, DragMargin + (step * 3) % height);
}

// One drag step: the move goes to the window procedure, then the repaint is
// forced, and done before UpdateWindow returns. zirna invalidates its window
// itself; the baseline ignores the move, so the driver invalidates its
// client area for it.
void dragStep(HWND window, LPARAM position, const Program& program) {
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, position);
    if (!program.drawsFigure) {
        InvalidateRect(window, nullptr, TRUE);
    }
    UpdateWindow(window);
}

// Polls briefly for the window to show the head's outline, left of its
// centre, dark or not: what its device context shows may follow the paint a
// moment later.
bool headOutlineShown(HWND window, POINT centre, bool dark) {
    for (int poll = 0; poll < RepaintPolls; ++poll) {
        bool anyDark = false;
        for (int dx = -1; dx <= 1; ++dx) {
            anyDark =
                anyDark || isDark(clientPixel(window, {centre.x - HeadRadius + dx, centre.y}));
        }
        if (anyDark == dark) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

// After a timed block of zirna's: the head follows the drag in the window. It
// is dragged to one point, then to another; the first outline must appear,
// then vanish when the second appears.
void verifyHeadMoves(HWND window, const Program& program) {
    RECT client;
    GetClientRect(window, &client);
    const POINT first = {client.right / 2 + 2 * HeadRadius, 2 * HeadRadius};
    const POINT second = {client.right - 2 * HeadRadius, 2 * HeadRadius};
    dragStep(window, MAKELPARAM(first.x, first.y), program);
    if (!headOutlineShown(window, first, true)) {
        fail("the dragged head is not drawn where the pointer went", program.path);
    }
    dragStep(window, MAKELPARAM(second.x, second.y), program);
    if (!headOutlineShown(window, second, true) || !headOutlineShown(window, first, false)) {
        fail("the head did not move with the second drag step", program.path);
    }
}

struct DragBlock {
    double microsecondsPerStep;
    LONGLONG cpu; // the program's CPU time over the timed steps, 100 ns units
};

DragBlock timeDrag(const Program& program, int steps) {
    Child child = launch(program);
    waitForFirstPaint(child, program);
    HWND window = child.window;
    RECT client;
    GetClientRect(window, &client);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, dragPosition(client, 0));
    for (int step = 0; step < WarmUpSteps; ++step) {
        dragStep(window, dragPosition(client, step), program);
    }
    const LONGLONG cpuBefore = cpuTime(child.process.dwProcessId);
    const LARGE_INTEGER start = now();
    for (int step = 0; step < steps; ++step) {
        dragStep(window, dragPosition(client, step), program);
    }
    const double seconds = secondsSince(start);
    const LONGLONG cpu = cpuTime(child.process.dwProcessId) - cpuBefore;
    if (!nothingToPaint(window)) {
        fail("UpdateWindow left the window unpainted", program.path);
    }
    if (program.drawsFigure) {
        verifyHeadMoves(window, program);
    }
    SendMessageA(window, WM_LBUTTONUP, 0, dragPosition(client, steps));
    close(child, program);
    return {seconds * 1e6 / steps, cpu};
}

void measureDrag(const Program& a, const Program& b, int pairs, int steps) {
    std::vector<double> timesA, timesB;
    LONGLONG cpuA = 0, cpuB = 0;
    for (int pair = 0; pair < pairs; ++pair) {
        const DragBlock blockA = timeDrag(a, steps);
        const DragBlock blockB = timeDrag(b, steps);
        timesA.push_back(blockA.microsecondsPerStep);
        timesB.push_back(blockB.microsecondsPerStep);
        cpuA += blockA.cpu;
        cpuB += blockB.cpu;
    }
    std::printf("check drag: A's head drawn at the pointer and moved with it, in all %d runs\n",
                pairs);
    std::printf("check drag: CPU time read from the process list over the timed steps: "
                "A %.0f ms, B %.0f ms\n",
                cpuA * MsPer100ns, cpuB * MsPer100ns);
    if (cpuA == 0 || cpuB == 0) {
        fail("the process list shows no CPU time for busy programs", "process list");
    }
    std::printf("drag %.2f %.2f %d %d\n", median(timesA), median(timesB), pairs, steps);
}

// ---- idle ----

double timeIdle(const Program& program, DWORD idleMs) {
    Child child = launch(program);
    waitForFirstPaint(child, program);
    Sleep(IdleSettleMs);
    const LONGLONG before = cpuTime(child.process.dwProcessId);
    Sleep(idleMs);
    const LONGLONG used = cpuTime(child.process.dwProcessId) - before;
    close(child, program);
    return used * MsPer100ns;
}

void measureIdle(const Program& a, const Program& b, int pairs, int seconds) {
    std::vector<double> usedA, usedB;
    for (int pair = 0; pair < pairs; ++pair) {
        usedA.push_back(timeIdle(a, seconds * 1000));
        usedB.push_back(timeIdle(b, seconds * 1000));
    }
    std::printf("check idle: most CPU time in a single run: A %.0f ms, B %.0f ms\n",
                *std::max_element(usedA.begin(), usedA.end()),
                *std::max_element(usedB.begin(), usedB.end()));
    std::printf("idle %.0f %.0f %d %d\n", median(usedA), median(usedB), pairs, seconds);
}

int usage() {
    std::fprintf(stderr, "usage: zirna-bench-driver start A.exe B.exe PAIRS\n"
                         "       zirna-bench-driver drag A.exe B.exe PAIRS STEPS\n"
                         "       zirna-bench-driver idle A.exe B.exe PAIRS SECONDS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 5) {
        return usage();
    }
    const char* measure = argv[1];
    const Program a = {argv[2], true};
    const Program b = {argv[3], false};
    const int pairs = std::atoi(argv[4]);
    const int extra = argc > 5 ? std::atoi(argv[5]) : 0;
    if (pairs < 1) {
        return usage();
    }
    const bool start = std::strcmp(measure, "start") == 0 && argc == 5;
    const bool drag = std::strcmp(measure, "drag") == 0 && argc == 6 && extra > 0;
    const bool idle = std::strcmp(measure, "idle") == 0 && argc == 6 && extra > 0;
    if (!start && !drag && !idle) {
        return usage();
    }
    raiseTimerResolution(measure);
    if (start) {
        measureStart(a, b, pairs);
    } else if (drag) {
        measureDrag(a, b, pairs, extra);
    } else {
        measureIdle(a, b, pairs, extra);
    }
    timeEndPeriod(TimerPeriodMs);
    return 0;
}
