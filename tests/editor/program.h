// What differs between the programs' input handling, as each program's test
// executable expects it (zirna_expectations.cpp, mirror_expectations.cpp).
#pragma once

#include "pose.h"

// The offset that a drag step with the pointer at client (x, y) gives.
Point expectedDragOffset(int x, int y);

// The file description in the program's version information.
extern const char ExpectedFileDescription[];
