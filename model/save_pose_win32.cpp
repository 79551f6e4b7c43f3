#include "pose_file.h"

#include <windows.h>

// The box has no owner, so the main window stays enabled while it is shown.
void savePose(const Pose& pose) {
    if (!writePoseFile(PoseFileName, pose)) {
        MessageBoxA(nullptr, "error", "stream error", MB_OK);
    }
}
