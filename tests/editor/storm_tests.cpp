// A storm of random input on the real window, against a model of the editing
// rules written here from the rules themselves. Every key, mouse and button
// message that reaches the window procedure is recorded as it arrives, and
// the model takes the same messages in the same order: the random ones, and
// those the system adds itself (a cursor warp or a resize under the pointer
// makes it send a mouse move of its own).
//
// A right-button release whose position lies on the caption makes the default
// handling open the system menu, as on Windows; its modal loop would wait for
// a user, so the test closes each such menu as soon as it goes idle.
//
// STORM_SEED=<n> replays a run; STORM_MESSAGES=<n> changes its length.
#include "harness.h"
#include "program.h"

#include <doctest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Recorded {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Recorded> arrivals;
WNDPROC programProcedure = nullptr;
int systemMenus = 0;

LRESULT CALLBACK recordInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: arrivals.push_back({message, wParam, lParam}); break;
    case WM_ENTERMENULOOP: ++systemMenus; break;
    case WM_ENTERIDLE:
        if (wParam == MSGF_MENU) {
            EndMenu();
        }
        break;
    }
    return CallWindowProcA(programProcedure, window, message, wParam, lParam);
}

// The editor as the rules describe it: 21 values in file order, the flags
// and the selection.
struct Model {
    int values[21];
    int dragging = 0;
    int selected = 0; // the head
    int helpVisible = 0;

    // Where each joint id's point lies among the values, -1 for Shoulder.
    static int indexOf(int id) {
        static const int index[JointCount] = {0, 2, -1, 15, 13, 19, 17, 7, 5, 11, 9};
        return index[id];
    }

    void take(const Recorded& input) {
        switch (input.message) {
        case WM_KEYDOWN:
            if (input.wParam != VK_RETURN) {
                const char* keys = "Y HTUGJNBMV";
                const char* found = input.wParam > 0 && input.wParam < 128
                                        ? std::strchr(keys, static_cast<int>(input.wParam))
                                        : nullptr;
                selected = found ? static_cast<int>(found - keys) : -1;
            }
            break;
        case WM_MOUSEMOVE:
            if (selected != -1 && dragging == 1) {
                const int x = static_cast<int>(input.lParam & 0xFFFF);
                const int y = static_cast<int>((input.lParam >> 16) & 0xFFFF);
                const Point offset = expectedDragOffset(x, y);
                if (selected == static_cast<int>(JointId::Shoulder)) {
                    values[4] = offset.y;
                } else {
                    values[indexOf(selected)] = offset.x;
                    values[indexOf(selected) + 1] = offset.y;
                }
            }
            break;
        case WM_LBUTTONDOWN: dragging = 1; break;
        case WM_LBUTTONUP: dragging = 0; break;
        case WM_RBUTTONDOWN: helpVisible = 1; break;
        case WM_RBUTTONUP: helpVisible = 0; break;
        }
    }

    bool matchesProgram() const {
        static_assert(sizeof(Pose) == sizeof values, "a Pose is its 21 integers");
        return std::memcmp(&pose, values, sizeof values) == 0 && editorState.dragging == dragging &&
               static_cast<int>(editorState.selected) == selected &&
               editorState.helpVisible == helpVisible;
    }
};

// A message whose handling never returns (a modal loop nobody ends) would
// stall the storm until the test runner gives up. The watchdog ends the run
// instead, naming the message, once a minute passes without progress.
volatile LONG messagesDone = 0;
volatile LONG stormOver = 0;

DWORD WINAPI watchStorm(void*) {
    LONG seen = 0;
    while (!stormOver) {
        Sleep(60000);
        if (!stormOver && messagesDone == seen) {
            std::fprintf(stderr, "storm: stalled in message %ld\n", seen);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        seen = messagesDone;
    }
    return 0;
}

unsigned long fromEnvironment(const char* name, unsigned long otherwise) {
    const char* given = std::getenv(name);
    return given ? std::strtoul(given, nullptr, 10) : otherwise;
}

} // namespace

TEST_CASE("a storm of random input leaves exactly what the editing rules predict") {
    const unsigned long seed = fromEnvironment("STORM_SEED", GetTickCount());
    const unsigned long count = fromEnvironment("STORM_MESSAGES", 100000);
    std::printf("storm: %lu messages, seed %lu (STORM_SEED=%lu replays it)\n", count, seed, seed);
    std::fflush(stdout);

    MainWindow main;
    ScratchDirectory scratch("storm"); // Enter saves here
    arrivals.clear();
    systemMenus = 0;
    programProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(main.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordInput)));
    Model model;
    std::memcpy(model.values, &DefaultPose, sizeof model.values);

    std::mt19937 random(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> perMille(0, 999);
    std::uniform_int_distribution<unsigned> any32;
    std::uniform_int_distribution<int> anyKey(0, 255);
    std::uniform_int_distribution<int> tableKey(0, JointCount - 1);
    std::uniform_int_distribution<int> size(60, 900);
    const char* jointKeys = "Y HTUGJNBMV";

    stormOver = 0;
    messagesDone = 0;
    HANDLE watchdog = CreateThread(nullptr, 0, watchStorm, nullptr, 0, nullptr);
    size_t modelled = 0;
    bool agreed = true;
    unsigned long sent = 0;
    for (; sent < count && agreed; ++sent) {
        const int roll = perMille(random);
        // Only the low 32 bits of lParam carry the position: on 64 bits, some
        // high bits too.
        const unsigned long long high = percent(random) < 10 ? 1ull << 32 : 0;
        const LPARAM position = static_cast<LPARAM>(any32(random) | high);
        if (roll < 380) {
            PostMessageA(main.handle, WM_MOUSEMOVE, any32(random) & 0x1F, position);
        } else if (roll < 550) {
            const int key = percent(random) < 50 ? anyKey(random) : jointKeys[tableKey(random)];
            PostMessageA(main.handle, WM_KEYDOWN, key, 1);
        } else if (roll < 660) {
            PostMessageA(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, position);
        } else if (roll < 770) {
            PostMessageA(main.handle, WM_LBUTTONUP, 0, position);
        } else if (roll < 860) {
            PostMessageA(main.handle, WM_RBUTTONDOWN, MK_RBUTTON, position);
        } else if (roll < 950) {
            // Now and then on the caption, just above the client area's corner
            // (the caption is taller than 10 pixels in Wine's frames and in
            // every Windows theme).
            const LPARAM release = percent(random) < 1 ? pointerAt(10, -10) : position;
            PostMessageA(main.handle, WM_RBUTTONUP, 0, release);
        } else if (roll < 958) { // resizes and repaints cost the most: fewer of them
            SetWindowPos(main.handle, nullptr, 0, 0, size(random), size(random),
                         SWP_NOMOVE | SWP_NOZORDER);
        } else if (roll < 960) {
            ShowWindow(main.handle, percent(random) < 50 ? SW_MAXIMIZE : SW_RESTORE);
        } else {
            InvalidateRect(main.handle, nullptr, percent(random) < 50);
            UpdateWindow(main.handle);
        }
        pumpMessages();
        for (; modelled < arrivals.size(); ++modelled) {
            model.take(arrivals[modelled]);
        }
        agreed = model.matchesProgram();
        InterlockedIncrement(&messagesDone);
    }
    stormOver = 1;
    CloseHandle(watchdog);
    UpdateWindow(main.handle);
    std::printf("storm: %lu sent, %zu reached the window procedure, %d system menus closed\n", sent,
                arrivals.size(), systemMenus);
    CHECK(sent == count);
    CHECK((systemMenus > 0 || count < 20000));
    CHECK(agreed);
    CHECK(model.matchesProgram());
    CHECK(IsWindow(main.handle));

    // Enter then writes the pose that the model holds.
    PostMessageA(main.handle, WM_KEYDOWN, VK_RETURN, 1);
    pumpMessages();
    Pose predicted;
    std::memcpy(&predicted, model.values, sizeof predicted);
    CHECK(scratch.read("1.txt") == poseRecord(predicted));
    SetWindowLongPtrA(main.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(programProcedure));
}
