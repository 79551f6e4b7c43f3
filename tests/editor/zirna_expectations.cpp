#include "program.h"

// zirna places the joint under the pointer.
Point expectedDragOffset(int x, int y) { return {x - 100, y - 100}; }

const char ExpectedFileDescription[] = "zirna stick figure pose editor";
