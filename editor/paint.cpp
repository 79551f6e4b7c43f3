#include "paint.h"

// help::
//  y:頭
//  h:肩 t,u:腕 g,j:手
//  spase:股間
//  b,n:ひざ v,m:足
const char HelpText[] = "help::\n"
                        " y:\x93\xAA\n"
                        " h:\x8C\xA8 t,u:\x98"
                        "r g,j:\x8E\xE8\n"
                        " spase:\x8C\xD2\x8A\xD4\n"
                        " b,n:\x82\xD0\x82\xB4 v,m:\x91\xAB";
static_assert(sizeof HelpText - 1 == HelpTextLength, "the help is 61 bytes");

static void moveTo(HDC dc, Point point) { MoveToEx(dc, point.x, point.y, nullptr); }

// Draws from the current position up to, not including, the joint, and moves
// the current position there: the limbs are chains of these.
static void lineTo(HDC dc, Point joint) {
    const Point to = absolutePoint(joint);
    LineTo(dc, to.x, to.y);
}

void drawFigure(HDC dc, const Pose& figure, int helpVisible) {
    const Point head = absolutePoint(figure.Head);
    const Point hip = absolutePoint(figure.Hip);
    const Point shoulder = shoulderPoint(figure);

    moveTo(dc, head);
    lineTo(dc, figure.Hip);
    lineTo(dc, figure.KneeB);
    lineTo(dc, figure.FootV);

    moveTo(dc, hip);
    lineTo(dc, figure.KneeN);
    lineTo(dc, figure.FootM);

    moveTo(dc, shoulder);
    lineTo(dc, figure.ArmU);
    lineTo(dc, figure.HandJ);

    moveTo(dc, shoulder);
    lineTo(dc, figure.ArmT);
    lineTo(dc, figure.HandG);

    // Last, so that its white disc covers the top of the spine and whatever
    // passes under the head.
    Ellipse(dc, head.x - HeadRadius, head.y - HeadRadius, head.x + HeadRadius, head.y + HeadRadius);

    if (helpVisible == 1) {
        RECT rect = HelpRect;
        DrawTextA(dc, HelpText, HelpTextLength, &rect, DT_WORDBREAK);
    }
}
