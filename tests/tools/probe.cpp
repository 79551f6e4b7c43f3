// zirna-probe: the end-to-end tests' eyes on the Windows side, run as its own
// process beside the program under test.
//
//   zirna-probe window [seconds]   waits for the main window to be shown and
//                                  painted; prints its client area's screen
//                                  origin and size, the owning process id and
//                                  the outer window rectangle
//   zirna-probe boxes              prints each message box on the screen:
//                                  owner, caption, text, buttons, rectangle,
//                                  as name=value fields separated by tabs
//   zirna-probe dismiss            presses OK on every message box
//   zirna-probe hold FILE          opens FILE without sharing and keeps it
//                                  open (for a minute, or until ended)
//   zirna-probe render FILE HELP WIDTH HEIGHT V1..V21
//                                  draws the figure of the 21 pose values as
//                                  the program draws it, into a white client
//                                  area of the given size; writes it as PPM
#include "editor.h"
#include "paint.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

HWND findMainWindow() {
    HWND window = FindWindowA(MainWindowClass, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

int printWindow(int seconds) {
    for (int waited = 0; waited < seconds * 100; ++waited) {
        if (HWND window = findMainWindow()) {
            RECT update;
            if (!GetUpdateRect(window, &update, FALSE)) { // painted
                POINT origin = {0, 0};
                ClientToScreen(window, &origin);
                RECT client;
                GetClientRect(window, &client);
                RECT outer;
                GetWindowRect(window, &outer);
                DWORD process;
                GetWindowThreadProcessId(window, &process);
                std::printf("%ld %ld %ld %ld %lu %ld %ld %ld %ld\n", origin.x, origin.y,
                            client.right, client.bottom, process, outer.left, outer.top,
                            outer.right, outer.bottom);
                return 0;
            }
        }
        Sleep(10);
    }
    std::fprintf(stderr, "zirna-probe: no main window\n");
    return 1;
}

struct BoxList {
    std::vector<HWND> boxes;
};

BOOL CALLBACK collectBox(HWND window, LPARAM list) {
    char name[32];
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        reinterpret_cast<BoxList*>(list)->boxes.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> messageBoxes() {
    BoxList list;
    EnumWindows(collectBox, reinterpret_cast<LPARAM>(&list));
    return list.boxes;
}

int printBoxes() {
    for (HWND box : messageBoxes()) {
        char caption[128], text[128] = "", buttons[128] = "";
        GetWindowTextA(box, caption, sizeof caption);
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (!IsWindowVisible(child)) {
                continue;
            }
            char kind[32], label[64];
            GetClassNameA(child, kind, sizeof kind);
            GetWindowTextA(child, label, sizeof label);
            if (lstrcmpiA(kind, "Button") == 0) {
                std::strcat(buttons, buttons[0] ? "," : "");
                std::strcat(buttons, label);
            } else if (lstrcmpiA(kind, "Static") == 0 && label[0]) {
                std::strcpy(text, label);
            }
        }
        HWND owner = GetWindow(box, GW_OWNER);
        RECT rect;
        GetWindowRect(box, &rect);
        std::printf("owner=%s\tcaption=%s\ttext=%s\tbuttons=%s\trect=%ld,%ld,%ld,%ld\n",
                    owner ? "yes" : "none", caption, text, buttons, rect.left, rect.top, rect.right,
                    rect.bottom);
    }
    return 0;
}

int dismissBoxes() {
    for (HWND box : messageBoxes()) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    }
    return 0;
}

// A test polls the file while the probe starts (is it held yet?), and an
// exclusive open fails while a poll has it open: the probe tries again for
// up to 5 s.
int hold(const char* path) {
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 500; ++attempt) {
        file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        if (file != INVALID_HANDLE_VALUE || error != ERROR_SHARING_VIOLATION) {
            break;
        }
        Sleep(10);
    }
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "zirna-probe: cannot hold %s (error %lu)\n", path, error);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(60000);
    CloseHandle(file);
    return 0;
}

int render(int argc, char** argv) {
    if (argc != 27) {
        std::fprintf(stderr, "zirna-probe render FILE HELP WIDTH HEIGHT V1..V21\n");
        return 2;
    }
    const int help = std::atoi(argv[3]);
    const int width = std::atoi(argv[4]);
    const int height = std::atoi(argv[5]);
    int values[21];
    for (int i = 0; i < 21; ++i) {
        values[i] = std::atoi(argv[6 + i]);
    }
    Pose figure;
    static_assert(sizeof figure == sizeof values, "a Pose is its 21 integers");
    std::memcpy(&figure, values, sizeof figure);

    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!bitmap) {
        std::fprintf(stderr, "zirna-probe: no %dx%d bitmap to draw in (error %lu)\n", width, height,
                     GetLastError());
        return 1;
    }
    SelectObject(dc, bitmap);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    drawFigure(dc, figure, help);
    GdiFlush();

    FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::fprintf(stderr, "zirna-probe: cannot write %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    const auto* bgra = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const unsigned char rgb[3] = {bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]};
        std::fwrite(rgb, 1, 3, out);
    }
    const bool failed = std::ferror(out) != 0;
    if (std::fclose(out) != 0 || failed) {
        std::fprintf(stderr, "zirna-probe: writing %s failed: %s (error %lu)\n", argv[2],
                     std::strerror(errno), GetLastError());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    if (std::strcmp(command, "window") == 0) {
        return printWindow(argc > 2 ? std::atoi(argv[2]) : 20);
    }
    if (std::strcmp(command, "boxes") == 0) {
        return printBoxes();
    }
    if (std::strcmp(command, "dismiss") == 0) {
        return dismissBoxes();
    }
    if (std::strcmp(command, "hold") == 0 && argc == 3) {
        return hold(argv[2]);
    }
    if (std::strcmp(command, "render") == 0) {
        return render(argc, argv);
    }
    std::fprintf(stderr, "usage: zirna-probe window|boxes|dismiss|hold|render ...\n");
    return 2;
}
