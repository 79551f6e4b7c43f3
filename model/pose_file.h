// The pose file: the 21 values of a Pose as text, written on Enter.
#pragma once

#include "pose.h"

// A relative name: the file lies in the process's current directory.
constexpr const char* PoseFileName = "1.txt";

// Writes the pose to path: the file is created or truncated, then holds the
// 21 values in five lines separated by CR LF, with no line end after the last.
// Returns false when the file cannot be opened or when writing, flushing or
// closing it fails; a file that this call created is then removed again.
bool writePoseFile(const char* path, const Pose& pose);
