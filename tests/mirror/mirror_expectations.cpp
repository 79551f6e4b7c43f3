#include "program.h"

// zirna-mirror reflects the pointer through the figure's origin.
Point expectedDragOffset(int x, int y) { return {100 - x, 100 - y}; }

const char ExpectedFileDescription[] = "zirna stick figure pose editor, mirrored drag";
