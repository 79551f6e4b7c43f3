// Renderings into memory device contexts, apart from the window harness, so
// that a test of drawing alone links no window.
#include "harness.h"
#include "paint.h"

MemoryBitmap::MemoryBitmap(int w, int h) : width(w), height(h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    previous = SelectObject(dc, bitmap);
}

MemoryBitmap::~MemoryBitmap() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

Picture MemoryBitmap::picture() const {
    GdiFlush();
    Picture result;
    result.width = width;
    result.height = height;
    result.pixels.resize(static_cast<size_t>(width) * height);
    const auto* source = static_cast<const unsigned char*>(bits);
    for (size_t i = 0; i < result.pixels.size(); ++i) {
        const unsigned char* bgra = source + 4 * i;
        result.pixels[i] = RGB(bgra[2], bgra[1], bgra[0]);
    }
    return result;
}

Picture renderFigure(const Pose& figure, int helpVisible, int width, int height,
                     COLORREF background, HFONT font) {
    MemoryBitmap target(width, height);
    if (font) {
        SelectObject(target.dc, font);
    }
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(target.dc, &all, brush);
    DeleteObject(brush);
    drawFigure(target.dc, figure, helpVisible);
    return target.picture();
}

Picture captureClient(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    MemoryBitmap target(client.right, client.bottom);
    HDC windowDc = GetDC(window);
    BitBlt(target.dc, 0, 0, client.right, client.bottom, windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    return target.picture();
}
