// The editing input: key and mouse handling of the main window.
//
// The buttons, the key table and the drag's placing of a joint are the same
// in both programs. onKeyDown and onMouseMove are each program's own, from
// the one input source file that its target links: editor/input.cpp for
// zirna (cursor warp, drag under the pointer), mirror/input.cpp for
// zirna-mirror (no warp, drag mirrored through FigureOrigin).
#pragma once

#include "pose.h"

#include <windows.h>

// Provided by the program's input file.
void onKeyDown(HWND window, WPARAM key);
void onMouseMove(HWND window, LPARAM position);

// Shared (editing.cpp).
void applyKeyTable(WPARAM key); // Enter saves; every key then sets the selection
bool dragStepApplies();         // a joint selected and the left button held
Point pointerPosition(LPARAM position);
void dragSelectedJoint(HWND window, int dx, int dy);
void onLeftButtonDown();
void onLeftButtonUp();
void onRightButtonDown(HWND window);
void onRightButtonUp(HWND window);
