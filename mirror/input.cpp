// zirna-mirror's key and mouse-move handling: the cursor is never moved, and a
// drag places the joint at the pointer's reflection through FigureOrigin.
#include "editor.h"
#include "input.h"

void onKeyDown(HWND, WPARAM key) { applyKeyTable(key); }

// Pointer right moves the joint left, pointer down moves it up: a point joint
// is drawn at (200 - x, 200 - y), and Shoulder takes 100 - y.
void onMouseMove(HWND window, LPARAM position) {
    if (dragStepApplies()) {
        const Point pointer = pointerPosition(position);
        dragSelectedJoint(window, FigureOrigin.x - pointer.x, FigureOrigin.y - pointer.y);
    }
}
