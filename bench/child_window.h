// Reading another program's main window from outside, for the benchmark
// driver and zirna-start-close.
#pragma once

#include "editor.h"

#include <windows.h>

// The pixel at a client point, read through the window's own device context:
// what the program painted there, whatever lies in front of the window on the
// screen (a console window, on a Windows runner).
inline COLORREF clientPixel(HWND window, POINT point) {
    HDC dc = GetDC(window);
    const COLORREF color = GetPixel(dc, point.x, point.y);
    ReleaseDC(window, dc);
    return color;
}

inline bool isDark(COLORREF color) {
    return GetRValue(color) < 128 && GetGValue(color) < 128 && GetBValue(color) < 128;
}

// The process's shown main window, if it has one yet.
inline HWND shownWindowOf(DWORD processId) {
    for (HWND window = FindWindowExA(nullptr, nullptr, MainWindowClass, nullptr); window;
         window = FindWindowExA(nullptr, window, MainWindowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}
