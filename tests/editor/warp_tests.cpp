// zirna's cursor warp: a selection moves the cursor onto the chosen joint.
#include "harness.h"

#include <doctest.h>

namespace {

struct KeyAndPoint {
    int key;
    Point joint; // where the default pose draws it
};

const KeyAndPoint jointKeys[] = {
    {'Y', {100, 60}},  {' ', {100, 120}}, {'T', {70, 110}}, {'U', {130, 110}}, {'G', {70, 110}},
    {'J', {130, 110}}, {'N', {120, 150}}, {'B', {80, 150}}, {'M', {120, 150}}, {'V', {80, 150}},
};

void checkCursorAt(HWND window, int x, int y) {
    const POINT cursor = cursorInClient(window);
    CHECK(cursor.x == x);
    CHECK(cursor.y == y);
}

} // namespace

TEST_CASE("a selection key puts the cursor on the joint's drawn point") {
    MainWindow main;
    for (const KeyAndPoint& entry : jointKeys) {
        CAPTURE(entry.key);
        putCursor(main.handle, 10, 200);
        pressKey(main.handle, entry.key);
        checkCursorAt(main.handle, entry.joint.x, entry.joint.y);
    }
}

TEST_CASE("the warp follows the joint, and a repeated key warps again") {
    MainWindow main;
    pressKey(main.handle, 'N');
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(120, 150));
    moveMouse(main.handle, 200, 30);
    deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(200, 30));
    putCursor(main.handle, 3, 4);
    pressKey(main.handle, 'N');
    checkCursorAt(main.handle, 200, 30);
    putCursor(main.handle, 5, 6);
    pressKey(main.handle, 'N'); // auto-repeat arrives as further key downs
    checkCursorAt(main.handle, 200, 30);
}

TEST_CASE("Shoulder has no point: the cursor stays where it is") {
    MainWindow main;
    putCursor(main.handle, 37, 211);
    pressKey(main.handle, 'H');
    checkCursorAt(main.handle, 37, 211);
    putCursor(main.handle, 290, 3);
    pressKey(main.handle, 'H');
    checkCursorAt(main.handle, 290, 3);
}

TEST_CASE("Enter saves, then warps to the joint still selected") {
    MainWindow main;
    ScratchDirectory scratch("warp-enter");
    pressKey(main.handle, 'V');
    putCursor(main.handle, 250, 20);
    pressKey(main.handle, VK_RETURN);
    CHECK(scratch.read("1.txt").size() == 69);
    checkCursorAt(main.handle, 80, 150);
}

TEST_CASE("with nothing selected the cursor is left alone, Enter included") {
    MainWindow main;
    ScratchDirectory scratch("warp-none");
    putCursor(main.handle, 250, 20);
    pressKey(main.handle, VK_ESCAPE);
    checkCursorAt(main.handle, 250, 20);
    pressKey(main.handle, VK_RETURN);
    CHECK(scratch.read("1.txt").size() == 69);
    checkCursorAt(main.handle, 250, 20);
}

TEST_CASE("a joint off the screen: the system clips the cursor to the screen") {
    MainWindow main;
    placeJoint(pose, JointId::FootM, -5000, 40000);
    pressKey(main.handle, 'M');
    // The screen's left and bottom edges, of all monitors together.
    POINT cursor;
    GetCursorPos(&cursor);
    CHECK(cursor.x == GetSystemMetrics(SM_XVIRTUALSCREEN));
    CHECK(cursor.y ==
          GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
}
