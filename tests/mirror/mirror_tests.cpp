// zirna-mirror's input: the drag reflected through FigureOrigin, no warp.
#include "harness.h"

#include <doctest.h>

TEST_CASE("the drag places the joint at the pointer's reflection through (100, 100)") {
    MainWindow main;
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(120, 50));
    moveMouse(main.handle, 120, 50);
    CHECK(pose.Head.x == -20);
    CHECK(pose.Head.y == 50);
    UpdateWindow(main.handle);
    const Picture shown = captureClient(main.handle);
    CHECK(shown.at(80, 140) == Black); // the head's circle around (80, 150)
    CHECK(shown.at(70, 150) == Black);
    CHECK(shown.at(80, 150) == White);
    moveMouse(main.handle, 100, 100);
    CHECK(pose.Head.x == 0);
    CHECK(pose.Head.y == 0);
}

TEST_CASE("Shoulder takes 100 - y") {
    MainWindow main;
    pressKey(main.handle, 'H');
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(10, 10));
    moveMouse(main.handle, 200, 70);
    CHECK(pose.Shoulder == 30);
}

TEST_CASE("no key ever moves the cursor") {
    MainWindow main;
    ScratchDirectory scratch("mirror-keys"); // Enter saves here
    putCursor(main.handle, 250, 20);
    for (int key = 0; key < 256; ++key) {
        CAPTURE(key);
        pressKey(main.handle, key);
        const POINT cursor = cursorInClient(main.handle);
        CHECK(cursor.x == 250);
        CHECK(cursor.y == 20);
    }
    CHECK(scratch.read("1.txt").size() == 69); // same name, same format
}
