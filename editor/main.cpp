// The program's entry: the main window and its message loop.
#include "editor.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showCommand) {
    if (!previous && !registerMainClass(instance)) {
        return 0;
    }
    HWND window = createMainWindow(instance);
    if (!window) {
        return 1; // no window: no loop that anything could end
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return runMessageLoop();
}
