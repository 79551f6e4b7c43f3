#include "harness.h"

#include <cstdio>
#include <cstring>
#include <direct.h>
#include <fstream>
#include <iterator>

namespace {
// Puts the cursor in the screen's bottom right corner, away from the window.
void parkPointer() {
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
}
} // namespace

MainWindow::MainWindow() {
    pose = DefaultPose;
    editorState = InitialEditorState;
    parkPointer();
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA existing;
    if (!GetClassInfoA(instance, MainWindowClass, &existing)) {
        registerMainClass(instance);
    }
    handle = createMainWindow(instance);
    ShowWindow(handle, SW_SHOWNORMAL);
    UpdateWindow(handle);
    pumpMessages();
}

MainWindow::~MainWindow() {
    DestroyWindow(handle);
    pumpMessages(); // takes the WM_QUIT that WM_DESTROY posts
}

int lastQuitCode = -1;

// Posted, sent and timer messages, but for WM_PAINT: a test repaints with
// UpdateWindow when it wants to, and so can see what a message left invalid.
// What the real mouse and keyboard did is dropped: a cursor warp of this test
// or an earlier one reaches the window as a real WM_MOUSEMOVE at a moment of
// the system's choosing, and would place a dragged joint at the cursor.
void pumpMessages() {
    constexpr UINT Queued = PM_REMOVE | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
    MSG message;
    for (;;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT)) {
        }
        if (!PeekMessageA(&message, nullptr, 0, WM_PAINT - 1, Queued) &&
            !PeekMessageA(&message, nullptr, WM_PAINT + 1, 0xFFFFFFFF, Queued)) {
            return;
        }
        if (message.message == WM_QUIT) {
            lastQuitCode = static_cast<int>(message.wParam);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

namespace {
WNDPROC procedureBeforeWatch = nullptr;
bool erased = false;

LRESULT CALLBACK watchErase(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    erased = erased || message == WM_ERASEBKGND;
    return CallWindowProcA(procedureBeforeWatch, window, message, wParam, lParam);
}
} // namespace

bool wholeClientInvalid(HWND window) {
    RECT update, client;
    if (!GetUpdateRect(window, &update, FALSE)) {
        return false;
    }
    GetClientRect(window, &client);
    return EqualRect(&update, &client) != 0;
}

bool needsRepaint(HWND window) {
    RECT update;
    return GetUpdateRect(window, &update, FALSE) != 0;
}

bool repaintErases(HWND window) {
    erased = false;
    procedureBeforeWatch = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watchErase)));
    UpdateWindow(window);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedureBeforeWatch));
    return erased;
}

void deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageA(window, message, wParam, lParam);
    pumpMessages();
}

bool samePose(const Pose& a, const Pose& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string poseRecord(const Pose& p) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "%d,%d,%d,%d,%d\r\n%d,%d,%d\r\n%d,%d,%d,%d\r\n%d,%d,%d,%d,%d\r\n%d,%d,%d,%d",
                  p.Head.x, p.Head.y, p.Hip.x, p.Hip.y, p.Shoulder, p.KneeB.x, p.KneeB.y, p.KneeN.x,
                  p.KneeN.y, p.FootV.x, p.FootV.y, p.FootM.x, p.FootM.y, p.ArmU.x, p.ArmU.y,
                  p.ArmT.x, p.ArmT.y, p.HandJ.x, p.HandJ.y, p.HandG.x, p.HandG.y);
    return text;
}

void pressKey(HWND window, WPARAM key) { deliver(window, WM_KEYDOWN, key, 1); }

LPARAM pointerAt(int x, int y) {
    return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y)));
}

void moveMouse(HWND window, int x, int y) { deliver(window, WM_MOUSEMOVE, 0, pointerAt(x, y)); }

POINT cursorInClient(HWND window) {
    POINT cursor;
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    return cursor;
}

void putCursor(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
}

ScratchDirectory::ScratchDirectory(const char* name) {
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    previous = current;
    CreateDirectoryA("scratch", nullptr);
    path = previous + "\\scratch\\" + name;
    CreateDirectoryA(path.c_str(), nullptr);
    DeleteFileA((path + "\\1.txt").c_str());
    RemoveDirectoryA((path + "\\1.txt").c_str());
    SetCurrentDirectoryA(path.c_str());
}

ScratchDirectory::~ScratchDirectory() { SetCurrentDirectoryA(previous.c_str()); }

std::string ScratchDirectory::read(const char* file) const {
    std::ifstream in(path + "\\" + file, std::ios::binary);
    if (!in) {
        return "(missing)";
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

MessageBoxWatch* activeWatch = nullptr;
HHOOK boxHook = nullptr;
std::vector<HWND> seenBoxes;    // every box shown while watched, once each
std::vector<HWND> pendingBoxes; // shown, not yet read and dismissed

bool isDialog(HWND window) {
    char name[32];
    GetClassNameA(window, name, sizeof name);
    return lstrcmpA(name, "#32770") == 0;
}

MessageBoxRecord readBox(HWND box) {
    MessageBoxRecord record = {};
    char text[256];
    GetWindowTextA(box, text, sizeof text);
    record.caption = text;
    record.owner = GetWindow(box, GW_OWNER);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) {
            continue;
        }
        char kind[32];
        GetClassNameA(child, kind, sizeof kind);
        GetWindowTextA(child, text, sizeof text);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(kind, "Button") == 0) {
            ++record.visibleButtons;
            record.buttonText = text;
        } else if (lstrcmpiA(kind, "Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                record.visibleIcons += SendMessageA(child, STM_GETICON, 0, 0) != 0;
            } else if (text[0]) {
                record.text = text;
            }
        }
    }
    return record;
}

// Runs inside the box's modal loop, once the box is up and initialised.
void CALLBACK handleShownBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (pendingBoxes.empty() || !activeWatch) {
        return;
    }
    const HWND box = pendingBoxes.back();
    pendingBoxes.pop_back();
    activeWatch->boxes.push_back(readBox(box));
    if (activeWatch->whileShown) {
        activeWatch->whileShown(box);
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

LRESULT CALLBACK watchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (isDialog(window)) {
            bool seen = false;
            for (HWND box : seenBoxes) {
                seen = seen || box == window;
            }
            if (!seen) { // not a box activated again after another closed
                seenBoxes.push_back(window);
                pendingBoxes.push_back(window);
                SetTimer(nullptr, 0, 20, handleShownBox);
            }
        }
    }
    return CallNextHookEx(boxHook, code, wParam, lParam);
}

} // namespace

MessageBoxWatch::MessageBoxWatch() {
    activeWatch = this;
    seenBoxes.clear();
    pendingBoxes.clear();
    boxHook = SetWindowsHookExA(WH_CBT, watchBoxes, nullptr, GetCurrentThreadId());
}

MessageBoxWatch::~MessageBoxWatch() {
    UnhookWindowsHookEx(boxHook);
    activeWatch = nullptr;
}

bool waitUntil(bool (*condition)(const char*), const char* argument, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!condition(argument)) {
        if (GetTickCount() - start > milliseconds) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

void startUnixCommand(const std::string& command) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string line = command;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

std::string unixPath(const std::string& windowsPath) {
    std::string path = windowsPath.substr(2); // after "Z:"
    for (char& c : path) {
        c = c == '\\' ? '/' : c;
    }
    return path;
}

bool writable(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Wine's ntdll exports its version; Windows' does not.
bool underWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
