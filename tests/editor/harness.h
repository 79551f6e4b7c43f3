// In-process test support: the real main window of the program under test,
// driven through its own message queue, and renderings of the figure into
// memory device contexts.
#pragma once

#include "editor.h"

#include <windows.h>

#include <string>
#include <vector>

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF White = RGB(255, 255, 255);

// The main window, created and shown as WinMain does, with the pose and the
// editing state back at their start values, the cursor parked in the screen's
// far corner and no input pending. Destroyed at scope end.
struct MainWindow {
    HWND handle;
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
};

// Dispatches the messages queued for this thread, as the message loop does,
// but for WM_PAINT and real input, which it drops; a WM_QUIT is taken and its
// code kept in lastQuitCode.
void pumpMessages();
extern int lastQuitCode;

// Whether the whole client area waits for a repaint; whether anything does.
bool wholeClientInvalid(HWND window);
bool needsRepaint(HWND window);
// Repaints now, and tells whether the background was erased first.
bool repaintErases(HWND window);

// Posts a message to the window and lets the message loop deliver it.
void deliver(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
void pressKey(HWND window, WPARAM key);
LPARAM pointerAt(int x, int y);
void moveMouse(HWND window, int x, int y);

// The client point under the system cursor.
POINT cursorInClient(HWND window);
// Puts the system cursor on a client point of the window.
void putCursor(HWND window, int x, int y);

// Whether two poses hold the same 21 values.
bool samePose(const Pose& a, const Pose& b);
// The pose file's bytes for a pose: five lines of values, CR LF between them.
std::string poseRecord(const Pose& p);

// Pixels of a 32-bit top-down bitmap, as COLORREFs.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Picture& other) const {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
};

// A 32-bit top-down DIB section selected into a fresh memory DC.
struct MemoryBitmap {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    void* bits;
    int width;
    int height;
    MemoryBitmap(int w, int h);
    ~MemoryBitmap();
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;
    Picture picture() const;
};

// A memory bitmap of the given size and background with drawFigure's output
// on it, drawn with the given font selected (else the DC's own).
Picture renderFigure(const Pose& figure, int helpVisible, int width = 320, int height = 240,
                     COLORREF background = White, HFONT font = nullptr);
// What the window's client area shows now.
Picture captureClient(HWND window);

// A directory of the test's own made the current directory, and left again.
struct ScratchDirectory {
    std::string path;
    std::string previous;
    explicit ScratchDirectory(const char* name);
    ~ScratchDirectory();
    std::string read(const char* file) const;
};

// The message boxes shown while one of these is alive: each is read and then
// dismissed with its OK button, from inside its own modal loop.
struct MessageBoxRecord {
    std::string caption;
    std::string text;
    HWND owner;
    int visibleButtons;
    std::string buttonText;
    int visibleIcons;
};

struct MessageBoxWatch {
    std::vector<MessageBoxRecord> boxes;
    // Called inside the box's loop before it is dismissed.
    void (*whileShown)(HWND box) = nullptr;
    MessageBoxWatch();
    ~MessageBoxWatch();
};

// Polls until the condition holds, up to the given time; tells whether it did.
bool waitUntil(bool (*condition)(const char*), const char* argument, DWORD milliseconds = 5000);

// Starts a Linux command from inside Wine (which runs Unix programs given by
// their absolute path); the command's end cannot be awaited: poll its effect.
void startUnixCommand(const std::string& command);
// The Unix path of a Windows path on drive Z:, which Wine maps to the root.
std::string unixPath(const std::string& windowsPath);

// Whether the test runs under Wine rather than on Windows itself.
bool underWine();

// Whether a file can be opened for writing; whether a path exists.
bool writable(const char* path);
bool exists(const char* path);
