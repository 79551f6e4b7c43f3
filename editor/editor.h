// The editor's window: its process-wide state, the window class and the main
// window, the message loop and the window procedure.
#pragma once

#include "pose.h"

#include <windows.h>

// The editing state beside the pose; the input handling writes it, painting
// reads helpVisible.
struct EditorState {
    int dragging; // 1 between a left press and a left release seen by the window
    JointId selected;
    int helpVisible; // 1 between a right press and a right release seen by the window
};

constexpr EditorState InitialEditorState = {0, JointId::Head, 0};

// The document and the editing state: one of each per process, from start to exit.
extern Pose pose;
extern EditorState editorState;

constexpr const char* MainWindowClass = "MainWndClass";
constexpr const char* MainWindowCaption = "Vendrikdidoru";
constexpr int MainWindowWidth = 320; // outer size, frame and caption included
constexpr int MainWindowHeight = 240;
constexpr int IconResource = 2001;

ATOM registerMainClass(HINSTANCE instance);
HWND createMainWindow(HINSTANCE instance);
int runMessageLoop();

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
