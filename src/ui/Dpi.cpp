#include "ui/Dpi.h"

#include <windows.h>

namespace ui {

int ScreenDpi()
{
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        if (screen == nullptr)
            return 96;
        const int value = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

int Scale(int pixelsAt96)
{
    return MulDiv(pixelsAt96, ScreenDpi(), 96);
}

} // namespace ui
