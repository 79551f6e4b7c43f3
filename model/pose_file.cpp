// The C headers, first: a C++ library header would switch MinGW's printf
// family from the system C runtime's to its own, many kilobytes larger.
#include <stdio.h>
#include <sys/stat.h>

#include "pose_file.h"

// Line feeds are written as CR LF on every platform: the file is opened in
// binary mode and carries its own line ends.
static const char PoseFormat[] = "%d,%d,%d,%d,%d\r\n"
                                 "%d,%d,%d\r\n"
                                 "%d,%d,%d,%d\r\n"
                                 "%d,%d,%d,%d,%d\r\n"
                                 "%d,%d,%d,%d";

static bool writeRecord(FILE* file, const Pose& p) {
    const int written =
        fprintf(file, PoseFormat, p.Head.x, p.Head.y, p.Hip.x, p.Hip.y, p.Shoulder, p.KneeB.x,
                p.KneeB.y, p.KneeN.x, p.KneeN.y, p.FootV.x, p.FootV.y, p.FootM.x, p.FootM.y,
                p.ArmU.x, p.ArmU.y, p.ArmT.x, p.ArmT.y, p.HandJ.x, p.HandJ.y, p.HandG.x, p.HandG.y);
    // The stream buffers the whole record: a full disk shows only on the flush.
    return written > 0 && fflush(file) == 0 && !ferror(file);
}

// Whether anything is there under the name, readable or not.
static bool exists(const char* path) {
    struct stat status;
    return stat(path, &status) == 0;
}

bool writePoseFile(const char* path, const Pose& pose) {
    // Asked of the name, not by opening the file: a 1.txt that this user may
    // write but not read (or that another program holds without sharing
    // reading) is the user's file all the same.
    const bool existed = exists(path);
    FILE* file = fopen(path, "wb");
    if (!file) {
        return false;
    }
    const bool written = writeRecord(file, pose);
    const bool closed = fclose(file) == 0;
    if (written && closed) {
        return true;
    }
    // A cut-off record must not pass for a saved pose. A file that this save
    // created is taken away again; one that was there (even a device) stays.
    if (!existed) {
        remove(path);
    }
    return false;
}
