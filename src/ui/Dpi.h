// Layouts are written in pixels at 96 dots per inch; this is the one place
// that scales them to the screen (the program is system-dpi aware).
#pragma once

namespace ui {

int ScreenDpi();
// A length at 96 dpi in pixels of the screen.
int Scale(int pixelsAt96);

} // namespace ui
