// zirna's key and mouse-move handling: a selection moves the cursor onto the
// chosen joint, and a drag places the joint under the pointer.
#include "editor.h"
#include "input.h"

// Where the cursor was, as an offset from FigureOrigin; the warp for Shoulder,
// which has no point, goes there, so the cursor stays put.
static Point CursorOffset;

// The point the cursor goes to for each JointId.
static Point* const JointTable[JointCount] = {
    &pose.Head,  &pose.Hip,   &CursorOffset, &pose.ArmT,  &pose.ArmU,  &pose.HandG,
    &pose.HandJ, &pose.KneeN, &pose.KneeB,   &pose.FootM, &pose.FootV,
};

// Moves the cursor onto the drawn position of the selected joint; the system
// clips it to the screen.
static void warpCursor(HWND window) {
    POINT cursor;
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    CursorOffset = {cursor.x - FigureOrigin.x, cursor.y - FigureOrigin.y};
    const Point joint = absolutePoint(*JointTable[static_cast<int>(editorState.selected)]);
    POINT target = {joint.x, joint.y};
    ClientToScreen(window, &target);
    SetCursorPos(target.x, target.y);
}

// Every key that leaves a joint selected warps, Enter and auto-repeat included.
void onKeyDown(HWND window, WPARAM key) {
    applyKeyTable(key);
    if (editorState.selected != NoJoint) {
        warpCursor(window);
    }
}

void onMouseMove(HWND window, LPARAM position) {
    if (dragStepApplies()) {
        const Point pointer = pointerPosition(position);
        dragSelectedJoint(window, pointer.x - FigureOrigin.x, pointer.y - FigureOrigin.y);
    }
}
