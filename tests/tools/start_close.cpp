// zirna-start-close PROGRAM.exe...: starts each program, waits until its
// first paint shows in its window, closes it with WM_CLOSE and checks that it
// ends with exit code 0. The release workflow checks the zipped programs with
// it on Windows, the test start_and_close the build's. A failed check ends it
// with exit status 1; the last line, counting the programs, means all passed.
#include "child_window.h"
#include "editor.h"
#include "paint.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD FirstPaintTimeoutMs = 20000;
constexpr UINT ReplyTimeoutMs = 5000;
constexpr DWORD ExitTimeoutMs = 10000;
constexpr DWORD PollMs = 1;
constexpr COLORREF White = RGB(255, 255, 255);

[[noreturn]] void fail(const char* what, const char* path) {
    std::printf("check FAILED: %s (%s)\n", what, path);
    std::exit(1);
}

double nowMs() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000 / frequency.QuadPart;
}

// Nothing left to paint, before and after the window's thread answers a sent
// message: back in its message loop, it has ended any paint under way.
bool paintEnded(HWND window) {
    RECT update;
    DWORD_PTR result;
    return !GetUpdateRect(window, &update, FALSE) &&
           SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ReplyTimeoutMs, &result) &&
           !GetUpdateRect(window, &update, FALSE);
}

// The first picture at two points: the white background above and left of the
// figure, and the default figure's dark spine below the head. Under Wine an
// unpainted window reads black, and the background can show before the figure.
bool firstPictureShown(HWND window) {
    const Point head = absolutePoint(DefaultPose.Head);
    const Point hip = absolutePoint(DefaultPose.Hip);
    const POINT background = {FigureOrigin.x / 2, FigureOrigin.y / 4};
    const POINT spine = {head.x, (head.y + HeadRadius + hip.y) / 2};
    return clientPixel(window, background) == White && isDark(clientPixel(window, spine));
}

// Polls until the child's window is shown, painted and showing its first picture.
HWND waitForFirstPaint(const PROCESS_INFORMATION& child, double startMs, const char* path) {
    HWND window = nullptr;
    for (;;) {
        if (!window) {
            window = shownWindowOf(child.dwProcessId);
        }
        if (window && IsWindowVisible(window) && paintEnded(window) && firstPictureShown(window)) {
            return window;
        }
        if (nowMs() - startMs > FirstPaintTimeoutMs) {
            TerminateProcess(child.hProcess, 1); // else it would outlive the failed check
            fail("no painted main window", path);
        }
        Sleep(PollMs);
    }
}

void startAndClose(const char* path) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    std::string commandLine = std::string("\"") + path + "\"";
    const double startMs = nowMs();
    if (!CreateProcessA(path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child)) {
        fail("cannot start the program", path);
    }
    HWND window = waitForFirstPaint(child, startMs, path);
    const double ms = nowMs() - startMs;
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(child.hProcess, ExitTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child.hProcess, &exitCode);
    } else {
        TerminateProcess(child.hProcess, 1);
    }
    std::printf("check start-and-close: %s painted after %.0f ms, exit code %lu on WM_CLOSE\n",
                path, ms, exitCode);
    if (exitCode != 0) {
        fail("the program did not end with exit code 0 on WM_CLOSE", path);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: zirna-start-close PROGRAM.exe...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::string path = argv[i];
        std::replace(path.begin(), path.end(), '/', '\\');
        startAndClose(path.c_str());
    }
    std::printf("start-and-close: %d programs started, painted and closed\n", argc - 1);
    return 0;
}
