// The figure and the help as drawn, pixel by pixel.
#include "harness.h"
#include "paint.h"

#include <doctest.h>

#include <cstring>

namespace {

bool black(const Picture& picture, int x, int y) { return picture.at(x, y) == Black; }

// Whether any pixel of the row between x0 and x1 is black.
bool blackInRow(const Picture& picture, int y, int x0, int x1) {
    for (int x = x0; x <= x1; ++x) {
        if (black(picture, x, y)) {
            return true;
        }
    }
    return false;
}

Pose withPoint(Pose figure, JointId id, int x, int y) {
    placeJoint(figure, id, x - FigureOrigin.x, y - FigureOrigin.y);
    return figure;
}

} // namespace

TEST_CASE("the default figure") {
    const Picture figure = renderFigure(DefaultPose, 0);

    SUBCASE("the head: a black circle of radius 10 whose white disc hides the spine's top") {
        CHECK(black(figure, 100, 50)); // top
        CHECK(black(figure, 90, 60));  // left
        CHECK(black(figure, 109, 60)); // right: the box's right edge is excluded
        CHECK(black(figure, 100, 69)); // bottom
        CHECK_FALSE(black(figure, 110, 60));
        CHECK_FALSE(black(figure, 100, 70 - 21));
        for (int y = 51; y <= 68; ++y) {
            CAPTURE(y);
            CHECK_FALSE(black(figure, 100, y)); // the spine under the disc
        }
    }
    SUBCASE("the spine runs on from under the head to the hip") {
        for (int y = 70; y <= 120; ++y) {
            CAPTURE(y);
            CHECK(black(figure, 100, y));
        }
    }
    SUBCASE("each chain leaves out its last pixel") {
        // The legs end at the feet (80, 150) and (120, 150), the arms at the
        // hands (70, 110) and (130, 110): knee on foot and arm point on hand
        // make the last segment of each chain empty.
        CHECK_FALSE(black(figure, 80, 150));
        CHECK_FALSE(black(figure, 120, 150));
        CHECK_FALSE(black(figure, 70, 110));
        CHECK_FALSE(black(figure, 130, 110));
        CHECK(blackInRow(figure, 149, 80, 81));
        CHECK(blackInRow(figure, 149, 119, 120));
        CHECK(blackInRow(figure, 109, 70, 71));
        CHECK(blackInRow(figure, 109, 129, 130));
    }
    SUBCASE("the arms start at the shoulder point (100, 80)") {
        CHECK(black(figure, 99, 81));
        CHECK(black(figure, 101, 81));
        CHECK_FALSE(black(figure, 99, 79));
        CHECK_FALSE(black(figure, 101, 79));
    }
    SUBCASE("nothing is drawn outside the figure") {
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                const bool inside = x >= 70 && x <= 130 && y >= 50 && y <= 150;
                if (!inside && black(figure, x, y)) {
                    FAIL("a black pixel at " << x << "," << y);
                }
            }
        }
    }
}

TEST_CASE("the arms start where the extended-precision shoulder point says") {
    // Head (100, 60), hip (130, 100), Shoulder 20: the arms start at (111, 76).
    // Both arms run to the right along row 76, where the spine crosses at 112.
    Pose figure = DefaultPose;
    figure = withPoint(figure, JointId::Hip, 130, 100);
    figure.Shoulder = 20;
    for (JointId arm : {JointId::ArmU, JointId::HandJ, JointId::ArmT, JointId::HandG}) {
        figure = withPoint(figure, arm, 200, 76);
    }
    const Picture picture = renderFigure(figure, 0);
    CHECK(black(picture, 111, 76));
    CHECK_FALSE(black(picture, 110, 76));
    CHECK(black(picture, 112, 76));
    CHECK(black(picture, 199, 76));
    CHECK_FALSE(black(picture, 200, 76));
}

TEST_CASE("head on hip: the arms start at the head's centre, under the disc") {
    Pose figure = withPoint(DefaultPose, JointId::Hip, 100, 60);
    const Picture picture = renderFigure(figure, 0);
    // The arm to (130, 110) leaves the disc at its rim and no earlier.
    CHECK(black(picture, 100, 50));
    CHECK_FALSE(black(picture, 100, 60));
    CHECK_FALSE(black(picture, 103, 65));
    CHECK(blackInRow(picture, 75, 107, 110));
    CHECK(blackInRow(picture, 75, 90, 93));
}

TEST_CASE("joints far outside the client area are drawn clipped") {
    Pose figure = DefaultPose;
    placeJoint(figure, JointId::KneeB, -65435, 0);
    placeJoint(figure, JointId::FootV, -65435, 65435);
    placeJoint(figure, JointId::HandJ, 65435, 65435);
    const Picture picture = renderFigure(figure, 0);
    // The knee is far to the left on the hip's row: the leg is row 120.
    for (int x = 0; x <= 100; ++x) {
        CAPTURE(x);
        CHECK(black(picture, x, 120));
    }
}

TEST_CASE("the help overlay paints its text cells and nothing else, whatever the font") {
    // The hip in the corner and a knee at the right edge: a leg along row 2
    // runs under the help's first line, which starts in the corner in any
    // font, so some of the figure lies under the cells whatever their size.
    Pose figure = withPoint(DefaultPose, JointId::Hip, 0, 2);
    figure = withPoint(figure, JointId::KneeB, 319, 2);
    Pose nowhere = DefaultPose;
    for (JointId id :
         {JointId::Head, JointId::Hip, JointId::KneeB, JointId::KneeN, JointId::FootV,
          JointId::FootM, JointId::ArmU, JointId::ArmT, JointId::HandJ, JointId::HandG}) {
        placeJoint(nowhere, id, -5000, -5000);
    }
    // The DC's default font, which follows the system's fonts, and two others
    // that keep five lines inside the help's rectangle.
    for (int height : {0, 9, 14}) {
        CAPTURE(height);
        HFONT font = height ? CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                          DEFAULT_CHARSET, 0, 0, 0, 0, "")
                            : nullptr;
        const Picture plain = renderFigure(figure, 0, 320, 240, White, font);
        const Picture withHelp = renderFigure(figure, 1, 320, 240, White, font);
        // The help alone on grey shows its cells: white background and text.
        const COLORREF grey = RGB(128, 128, 128);
        const Picture cells = renderFigure(nowhere, 1, 320, 240, grey, font);
        int cellPixels = 0, overdrawn = 0, lowestCellRow = -1, rightmostCell = -1;
        bool outsideUntouched = true, insideIsHelp = true;
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                const bool cell = cells.at(x, y) != grey;
                if (cell) {
                    ++cellPixels;
                    lowestCellRow = y;
                    rightmostCell = x > rightmostCell ? x : rightmostCell;
                    insideIsHelp = insideIsHelp && withHelp.at(x, y) == cells.at(x, y);
                    overdrawn += black(plain, x, y) && withHelp.at(x, y) == White;
                } else {
                    outsideUntouched = outsideUntouched && withHelp.at(x, y) == plain.at(x, y);
                }
            }
        }
        CHECK(cellPixels > 0);
        CHECK(insideIsHelp);
        CHECK(outsideUntouched);
        CHECK(overdrawn > 0); // the figure's lines under the cells turn white
        // Only the font's own metrics are relied on, and bounds that any font
        // of these sizes keeps.
        CHECK(rightmostCell < 250);
        CHECK(lowestCellRow < 100);
        // Five lines of the font: a line break at each line feed.
        HDC dc = CreateCompatibleDC(nullptr);
        if (font) {
            SelectObject(dc, font);
        }
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        DeleteDC(dc);
        CHECK(lowestCellRow + 1 == 5 * metrics.tmHeight);
        CHECK(cells.at(0, 0) != grey); // the first cell starts in the corner
        if (font) {
            DeleteObject(font);
        }
    }
}

TEST_CASE("the help is the 61 bytes of code page 932 text") {
    CHECK(std::strlen(HelpText) == 61);
    wchar_t decoded[80] = {};
    const int length =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, HelpText, HelpTextLength, decoded, 80);
    const wchar_t expected[] = L"help::\n y:\u982D\n h:\u80A9 t,u:\u8155 g,j:\u624B\n"
                               L" spase:\u80A1\u9593\n b,n:\u3072\u3056 v,m:\u8DB3";
    CHECK(length == static_cast<int>(wcslen(expected)));
    CHECK(std::wcscmp(decoded, expected) == 0);
}

TEST_CASE("the window paints what drawFigure draws") {
    MainWindow main;
    RECT client;
    GetClientRect(main.handle, &client);
    CHECK(captureClient(main.handle) == renderFigure(DefaultPose, 0, client.right, client.bottom));
    editorState.helpVisible = 1;
    InvalidateRect(main.handle, nullptr, TRUE);
    UpdateWindow(main.handle);
    CHECK(captureClient(main.handle) == renderFigure(DefaultPose, 1, client.right, client.bottom));
}
