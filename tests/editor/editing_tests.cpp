// Editing input that both programs share: the key table, the buttons, the
// drag step's condition and repaint, and saving on Enter.
#include "harness.h"
#include "program.h"

#include <doctest.h>

#include <cstring>

namespace {

JointId expectedSelection(int key) {
    switch (key) {
    case ' ': return JointId::Hip;
    case 'B': return JointId::KneeB;
    case 'G': return JointId::HandG;
    case 'H': return JointId::Shoulder;
    case 'J': return JointId::HandJ;
    case 'M': return JointId::FootM;
    case 'N': return JointId::KneeN;
    case 'T': return JointId::ArmT;
    case 'U': return JointId::ArmU;
    case 'V': return JointId::FootV;
    case 'Y': return JointId::Head;
    default: return NoJoint;
    }
}

const char DefaultRecord[] = "0,-40,0,20,20\r\n-20,50,20\r\n50,-20,50,20\r\n"
                             "50,30,10,-30,10\r\n30,10,-30,10";

} // namespace

TEST_CASE("the key table: eleven keys select, every other key deselects") {
    MainWindow main;
    ScratchDirectory scratch("keys"); // Enter saves here
    for (int key = 0; key < 256; ++key) {
        CAPTURE(key);
        if (key == VK_RETURN) {
            continue;
        }
        editorState.selected = JointId::Hip;
        pressKey(main.handle, key);
        CHECK(editorState.selected == expectedSelection(key));
        CHECK(samePose(pose, DefaultPose));
        CHECK_FALSE(needsRepaint(main.handle)); // a selection never repaints
    }
    CHECK(scratch.read("1.txt") == "(missing)");
}

TEST_CASE("the selection starts at the head: a drag right after start moves it") {
    MainWindow main;
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(100, 60));
    CHECK(editorState.dragging == 1);
    CHECK(GetCapture() == nullptr); // the mouse is never captured
    moveMouse(main.handle, 150, 50);
    const Point offset = expectedDragOffset(150, 50);
    CHECK(pose.Head.x == offset.x);
    CHECK(pose.Head.y == offset.y);
    CHECK(wholeClientInvalid(main.handle));
    CHECK(repaintErases(main.handle));
    deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(150, 50));
    CHECK(editorState.dragging == 0);
    CHECK_FALSE(needsRepaint(main.handle));
    moveMouse(main.handle, 10, 10); // no button: nothing moves
    CHECK(pose.Head.x == offset.x);
    CHECK_FALSE(needsRepaint(main.handle));
    RECT client;
    GetClientRect(main.handle, &client);
    CHECK(captureClient(main.handle) == renderFigure(pose, 0, client.right, client.bottom));
}

TEST_CASE("a drag step places the selected joint, and only while dragging") {
    MainWindow main;
    SUBCASE("every point joint") {
        for (int key : {'Y', ' ', 'T', 'U', 'G', 'J', 'N', 'B', 'M', 'V'}) {
            CAPTURE(key);
            pose = DefaultPose;
            pressKey(main.handle, key);
            deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
            UpdateWindow(main.handle);
            moveMouse(main.handle, 33, 177);
            deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(33, 177));
            Pose expected = DefaultPose;
            const Point offset = expectedDragOffset(33, 177);
            placeJoint(expected, expectedSelection(key), offset.x, offset.y);
            CHECK(samePose(pose, expected));
            CHECK(wholeClientInvalid(main.handle));
            CHECK(repaintErases(main.handle));
        }
    }
    SUBCASE("Shoulder takes the pointer's height, whatever its x") {
        pressKey(main.handle, 'H');
        deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
        moveMouse(main.handle, 250, 90);
        CHECK(pose.Shoulder == expectedDragOffset(250, 90).y);
        moveMouse(main.handle, 3, 90);
        CHECK(pose.Shoulder == expectedDragOffset(3, 90).y);
        Pose expected = DefaultPose;
        expected.Shoulder = pose.Shoulder;
        CHECK(samePose(pose, expected));
    }
    SUBCASE("after a deselecting key, drags change nothing and repaint nothing") {
        pressKey(main.handle, VK_SHIFT);
        deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
        moveMouse(main.handle, 50, 50);
        CHECK(samePose(pose, DefaultPose));
        CHECK_FALSE(needsRepaint(main.handle));
    }
    SUBCASE("the pointer's position is two unsigned 16-bit halves of lParam") {
        deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
        deliver(main.handle, WM_MOUSEMOVE, 0, static_cast<LPARAM>(0xFFFFFFFFu));
        CHECK(pose.Head.x == expectedDragOffset(65535, 65535).x);
        CHECK(pose.Head.y == expectedDragOffset(65535, 65535).y);
        deliver(main.handle, WM_MOUSEMOVE, 0, static_cast<LPARAM>(0x80000001u));
        CHECK(pose.Head.x == expectedDragOffset(1, 32768).x);
        CHECK(pose.Head.y == expectedDragOffset(1, 32768).y);
    }
    SUBCASE("the flag alone decides, not the key state of the move") {
        deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
        // A release outside the window is never seen: moves without a
        // button still drag until a release inside it.
        deliver(main.handle, WM_MOUSEMOVE, 0, pointerAt(40, 41));
        CHECK(pose.Head.x == expectedDragOffset(40, 41).x);
        deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(40, 41));
        deliver(main.handle, WM_MOUSEMOVE, MK_LBUTTON, pointerAt(60, 61));
        CHECK(pose.Head.x == expectedDragOffset(40, 41).x);
    }
}

TEST_CASE("the right button shows the help while it is held") {
    MainWindow main;
    RECT client;
    GetClientRect(main.handle, &client);
    deliver(main.handle, WM_RBUTTONDOWN, MK_RBUTTON, pointerAt(200, 200));
    CHECK(editorState.helpVisible == 1);
    CHECK(wholeClientInvalid(main.handle));
    CHECK(repaintErases(main.handle));
    CHECK(captureClient(main.handle) == renderFigure(pose, 1, client.right, client.bottom));
    // A second press, as a quick second click would give: still plain presses.
    deliver(main.handle, WM_RBUTTONDOWN, MK_RBUTTON, pointerAt(200, 200));
    CHECK(editorState.helpVisible == 1);
    UpdateWindow(main.handle);
    deliver(main.handle, WM_RBUTTONUP, 0, pointerAt(200, 200));
    CHECK(editorState.helpVisible == 0);
    CHECK(wholeClientInvalid(main.handle));
    CHECK(repaintErases(main.handle));
    CHECK(captureClient(main.handle) == renderFigure(pose, 0, client.right, client.bottom));
    CHECK(editorState.dragging == 0);
    CHECK(samePose(pose, DefaultPose));
}

TEST_CASE("Enter saves the pose and keeps the selection") {
    MainWindow main;
    ScratchDirectory scratch("enter");
    pressKey(main.handle, VK_RETURN);
    CHECK(scratch.read("1.txt") == DefaultRecord);
    CHECK(editorState.selected == JointId::Head);
    CHECK_FALSE(needsRepaint(main.handle));

    pressKey(main.handle, 'B');
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
    moveMouse(main.handle, 7, 300);
    deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(7, 300));
    pressKey(main.handle, 'H');
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
    moveMouse(main.handle, 7, 90);
    deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(7, 90));
    pressKey(main.handle, VK_RETURN);
    CHECK(editorState.selected == JointId::Shoulder);
    const Point knee = expectedDragOffset(7, 300);
    const int shoulder = expectedDragOffset(7, 90).y;
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "0,-40,0,20,%d\r\n%d,%d,20\r\n50,-20,50,20\r\n50,30,10,-30,10\r\n30,10,-30,10",
                  shoulder, knee.x, knee.y);
    CHECK(scratch.read("1.txt") == expected); // the latest pose only
}

TEST_CASE("a failed save shows the stream error box; editing goes on") {
    MainWindow main;
    ScratchDirectory scratch("failing");
    CreateDirectoryA("1.txt", nullptr); // a directory where the file should go
    pressKey(main.handle, 'N');
    {
        MessageBoxWatch watch;
        pressKey(main.handle, VK_RETURN);
        REQUIRE(watch.boxes.size() == 1);
        const MessageBoxRecord& box = watch.boxes[0];
        CHECK(box.caption == "stream error");
        CHECK(box.text == "error");
        CHECK(box.owner == nullptr);
        CHECK(box.visibleButtons == 1);
        CHECK(box.buttonText == "OK");
        CHECK(box.visibleIcons == 0);
    }
    CHECK(samePose(pose, DefaultPose));
    CHECK(editorState.selected == JointId::KneeN);
    deliver(main.handle, WM_LBUTTONDOWN, MK_LBUTTON, pointerAt(5, 5));
    moveMouse(main.handle, 20, 30);
    CHECK(pose.KneeN.x == expectedDragOffset(20, 30).x);
    // Once the way is clear, the next Enter writes the whole file.
    RemoveDirectoryA("1.txt");
    deliver(main.handle, WM_LBUTTONUP, 0, pointerAt(20, 30));
    pressKey(main.handle, VK_RETURN);
    CHECK(scratch.read("1.txt").size() > 60);
}
