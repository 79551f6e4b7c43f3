#include "editor.h"

#include "input.h"
#include "paint.h"

Pose pose = DefaultPose;
EditorState editorState = InitialEditorState;

ATOM registerMainClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    // Every resize repaints the whole client area; no double clicks, so a
    // quick second click arrives as a plain button press.
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IconResource));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = MainWindowClass;
    return RegisterClassA(&windowClass);
}

HWND createMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, MainWindowClass, MainWindowCaption, WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, MainWindowWidth, MainWindowHeight, nullptr,
                           nullptr, instance, nullptr);
}

// Ends with WM_QUIT's code; GetMessageA fails (-1) only on bad arguments, and
// then the loop ends with 1, as a window that could not be created does.
int runMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

// WM_PAINT: the current pose, and the help while it is shown, between
// BeginPaint and EndPaint.
static void paintFigure(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    drawFigure(dc, pose, editorState.helpVisible);
    EndPaint(window, &paint);
}

// Each message gets its own handling, then still goes to the default window
// procedure, whose result is returned: closing, sizing, the system menu and
// the rest are all the system's.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); break;
    case WM_PAINT: paintFigure(window); break;
    case WM_KEYDOWN: onKeyDown(window, wParam); break;
    case WM_MOUSEMOVE: onMouseMove(window, lParam); break;
    case WM_LBUTTONDOWN: onLeftButtonDown(); break;
    case WM_LBUTTONUP: onLeftButtonUp(); break;
    case WM_RBUTTONDOWN: onRightButtonDown(window); break;
    case WM_RBUTTONUP: onRightButtonUp(window); break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
