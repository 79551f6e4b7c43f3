// Editing input common to both programs: the key table, the buttons and the
// placing of the dragged joint.
#include "editor.h"
#include "input.h"
#include "pose_file.h"

constexpr WPARAM EnterKey = VK_RETURN;

// The selection keys in JointId order: the id of a key is its place here.
// Letter keys arrive as their upper-case virtual-key codes, with or without
// Shift and Caps Lock. Any other key deselects.
static const char JointKeys[JointCount + 1] = "Y HTUGJNBMV";

// Writes the pose file; when it cannot be written, says so in a box with no
// owner, so the main window stays enabled, and keeps the pose for another try.
static void savePose(const Pose& figure) {
    if (!writePoseFile(PoseFileName, figure)) {
        MessageBoxA(nullptr, "error", "stream error", MB_OK);
    }
}

static JointId jointForKey(WPARAM key) {
    for (int id = 0; id < JointCount; ++id) {
        if (key == static_cast<unsigned char>(JointKeys[id])) {
            return static_cast<JointId>(id);
        }
    }
    return NoJoint;
}

void applyKeyTable(WPARAM key) {
    if (key == EnterKey) {
        savePose(pose); // Enter keeps the selection
        return;
    }
    editorState.selected = jointForKey(key);
}

bool dragStepApplies() { return editorState.selected != NoJoint && editorState.dragging == 1; }

// The pointer's client position as two unsigned 16-bit halves.
Point pointerPosition(LPARAM position) {
    return {static_cast<int>(LOWORD(position)), static_cast<int>(HIWORD(position))};
}

void dragSelectedJoint(HWND window, int dx, int dy) {
    placeJoint(pose, editorState.selected, dx, dy);
    InvalidateRect(window, nullptr, TRUE);
}

// The mouse is never captured: a release outside the window is not seen.
void onLeftButtonDown() { editorState.dragging = 1; }

void onLeftButtonUp() { editorState.dragging = 0; }

void onRightButtonDown(HWND window) {
    editorState.helpVisible = 1;
    InvalidateRect(window, nullptr, TRUE);
}

void onRightButtonUp(HWND window) {
    editorState.helpVisible = 0;
    InvalidateRect(window, nullptr, TRUE);
}
