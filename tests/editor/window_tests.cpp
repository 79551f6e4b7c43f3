// The window class, the main window, the message loop and the entry: the
// parts that both programs share.
#include "harness.h"
#include "program.h"
#include "version.h"

#include <doctest.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

namespace {

// The icon group's directory, as stored in the resources.
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

std::vector<UINT> recorded;
WNDPROC originalProcedure = nullptr;

LRESULT CALLBACK recordMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    recorded.push_back(message);
    return CallWindowProcA(originalProcedure, window, message, wParam, lParam);
}

bool wasRecorded(UINT message) {
    for (UINT m : recorded) {
        if (m == message) {
            return true;
        }
    }
    return false;
}

int countMainWindows() {
    int count = 0;
    for (HWND w = FindWindowExA(nullptr, nullptr, MainWindowClass, nullptr); w;
         w = FindWindowExA(nullptr, w, MainWindowClass, nullptr)) {
        ++count;
    }
    return count;
}

} // namespace

TEST_CASE("the window class") {
    MainWindow main; // registers the class
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA registered;
    REQUIRE(GetClassInfoA(instance, "MainWndClass", &registered));
    CHECK(registered.style == 3u);
    CHECK(reinterpret_cast<void*>(registered.lpfnWndProc) ==
          reinterpret_cast<void*>(WindowProcedure));
    CHECK(registered.cbClsExtra == 0);
    CHECK(registered.cbWndExtra == 0);
    CHECK(registered.hCursor == LoadCursorA(nullptr, IDC_ARROW));
    CHECK(registered.hbrBackground == GetStockObject(WHITE_BRUSH));
    CHECK(registered.lpszMenuName == nullptr);
    REQUIRE(registered.hIcon != nullptr);
    ICONINFO icon;
    REQUIRE(GetIconInfo(registered.hIcon, &icon));
    BITMAP colour;
    GetObjectA(icon.hbmColor, sizeof colour, &colour);
    CHECK(colour.bmWidth == 32);
    CHECK(colour.bmHeight == 32);
    DeleteObject(icon.hbmColor);
    DeleteObject(icon.hbmMask);
}

TEST_CASE("icon group 2001 holds one 32 by 32 image in 256 colours") {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(2001), MAKEINTRESOURCEA(14));
    REQUIRE(found != nullptr);
    const auto* group = static_cast<const IconGroup*>(LockResource(LoadResource(instance, found)));
    REQUIRE(group->count == 1);
    CHECK(group->entries[0].width == 32);
    CHECK(group->entries[0].height == 32);
    CHECK(group->entries[0].bitCount == 8);
}

TEST_CASE("version information and manifest") {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::vector<char> info(GetFileVersionInfoSizeA(path, nullptr));
    REQUIRE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()));
    const auto value = [&](const char* name) {
        char* text = nullptr;
        UINT length = 0;
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
        VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length);
        return std::string(text ? text : "");
    };
    CHECK(value("ProductName") == "zirna");
    CHECK(value("ProductVersion") == ZIRNA_VERSION);
    CHECK(value("FileDescription") == ExpectedFileDescription);

    const HINSTANCE instance = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    REQUIRE(found != nullptr);
    const std::string manifest(
        static_cast<const char*>(LockResource(LoadResource(instance, found))),
        SizeofResource(instance, found));
    CHECK(manifest.find("level=\"asInvoker\"") != std::string::npos);
    CHECK(manifest.find("e2011457-1546-43c5-a5fe-008deee3d3f0") != std::string::npos); // Vista
    CHECK(manifest.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a") != std::string::npos); // 10, 11
    CHECK(manifest.find("dpiAware") == std::string::npos); // scaled by the system
}

TEST_CASE("the main window") {
    MainWindow main;
    char caption[64];
    GetWindowTextA(main.handle, caption, sizeof caption);
    CHECK(std::strcmp(caption, "Vendrikdidoru") == 0);
    RECT outer;
    GetWindowRect(main.handle, &outer);
    CHECK(outer.right - outer.left == 320);
    CHECK(outer.bottom - outer.top == 240);
    const LONG style = GetWindowLongA(main.handle, GWL_STYLE);
    CHECK((style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW);
    CHECK((style & WS_CHILD) == 0);
    // The system adds the window edge to every overlapped window.
    CHECK((GetWindowLongA(main.handle, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE) == 0);
    CHECK(GetParent(main.handle) == nullptr);
    CHECK(GetMenu(main.handle) == nullptr);
    CHECK(GetCapture() == nullptr);
}

TEST_CASE("every message still reaches the default window procedure") {
    MainWindow main;
    originalProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(main.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordMessages)));
    recorded.clear();
    SUBCASE("a right release goes on to become a context menu request") {
        deliver(main.handle, WM_RBUTTONDOWN, MK_RBUTTON, pointerAt(50, 50));
        deliver(main.handle, WM_RBUTTONUP, 0, pointerAt(50, 50));
        CHECK(wasRecorded(WM_CONTEXTMENU));
    }
    SUBCASE("Alt+F4 closes the window") {
        lastQuitCode = -1;
        deliver(main.handle, WM_SYSKEYDOWN, VK_F4, 1 << 29);
        CHECK(wasRecorded(WM_CLOSE));
        CHECK(wasRecorded(WM_DESTROY));
        CHECK_FALSE(IsWindow(main.handle));
        CHECK(lastQuitCode == 0);
    }
    if (IsWindow(main.handle)) {
        SetWindowLongPtrA(main.handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProcedure));
    }
}

TEST_CASE("resizing repaints the whole client area; the figure keeps its place and size") {
    MainWindow main;
    SetWindowPos(main.handle, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(main.handle);
    RECT client;
    GetClientRect(main.handle, &client);
    CHECK(captureClient(main.handle) == renderFigure(DefaultPose, 0, client.right, client.bottom));
    SetWindowPos(main.handle, nullptr, 0, 0, 150, 130, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(main.handle);
    GetClientRect(main.handle, &client);
    CHECK(captureClient(main.handle) == renderFigure(DefaultPose, 0, client.right, client.bottom));
    ShowWindow(main.handle, SW_MAXIMIZE);
    UpdateWindow(main.handle);
    GetClientRect(main.handle, &client);
    CHECK(client.right > 320);
    CHECK(captureClient(main.handle) == renderFigure(DefaultPose, 0, client.right, client.bottom));
}

namespace {

DWORD WINAPI closeWhenShown(void*) {
    for (int i = 0; i < 500; ++i) {
        if (HWND window = FindWindowA(MainWindowClass, "Vendrikdidoru")) {
            if (IsWindowVisible(window)) {
                PostMessageA(window, WM_CLOSE, 0, 0);
                return 0;
            }
        }
        Sleep(10);
    }
    return 1;
}

} // namespace

TEST_CASE("WinMain") {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    char empty[] = "";
    SUBCASE("a closed window ends the loop with exit code 0") {
        UnregisterClassA(MainWindowClass, instance);
        HANDLE closer = CreateThread(nullptr, 0, closeWhenShown, nullptr, 0, nullptr);
        const int exitCode = WinMain(instance, nullptr, empty, SW_SHOWNORMAL);
        WaitForSingleObject(closer, INFINITE);
        DWORD closerResult;
        GetExitCodeThread(closer, &closerResult);
        CloseHandle(closer);
        CHECK(closerResult == 0);
        CHECK(exitCode == 0);
        CHECK(countMainWindows() == 0);
    }
    SUBCASE("a class that cannot be registered ends the program at once with 0") {
        registerMainClass(instance); // the second registration will fail
        CHECK(WinMain(instance, nullptr, empty, SW_SHOWNORMAL) == 0);
        CHECK(countMainWindows() == 0);
    }
    SUBCASE("a window that cannot be created gives a non-zero exit code, not a loop") {
        UnregisterClassA(MainWindowClass, instance);
        // A non-null previous instance skips registration: no class, no window.
        CHECK(WinMain(instance, instance, empty, SW_SHOWNORMAL) != 0);
        CHECK(countMainWindows() == 0);
    }
}
