// Drawing the figure and the help text.
#pragma once

#include "pose.h"

#include <windows.h>

// The help, in code page 932: its Japanese words show as such where the ANSI
// code page is 932. Five lines, each but the first beginning with a space.
extern const char HelpText[];
constexpr int HelpTextLength = 61;
constexpr RECT HelpRect = {0, 0, 250, 100};

constexpr int HeadRadius = 10;

// Draws the figure of the pose, and the help when helpVisible is 1, into any
// device context, with the context's own pen, brush, font and colours.
void drawFigure(HDC dc, const Pose& figure, int helpVisible);
