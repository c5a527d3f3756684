// Layout tables: each form and page describes its controls in a constexpr
// table of these records, in pixels at 96 dpi, next to its own code.
#pragma once

#include <cstdint>

namespace ui {

// Colours: an RGB value (0x00BBGGRR), a system colour (kSystemColor | COLOR_x)
// or kNoColor (transparent, or the parent's).
constexpr uint32_t kSystemColor = 0x80000000u;
constexpr uint32_t kNoColor = 0x1FFFFFFFu;
constexpr uint32_t kWindowText = kSystemColor | 8; // COLOR_WINDOWTEXT
constexpr uint32_t kButtonFace = kSystemColor | 15; // COLOR_BTNFACE
constexpr uint32_t kMenuColor = kSystemColor | 4; // COLOR_MENU
constexpr uint32_t kTeal = 0x00808000u;
constexpr uint32_t kWhite = 0x00FFFFFFu;
constexpr uint32_t kBlack = 0x00000000u;

// Every font of the program is this face in the Shift-JIS character set.
inline constexpr wchar_t kFontFace[] = L"ＭＳ Ｐゴシック";

struct FontSpec {
    int height = 12; // character height in pixels at 96 dpi
    bool bold = false;
    bool italic = false;
    uint32_t color = kWindowText;
};

enum class Kind { Label, Button, Edit, CheckBox, RadioButton, Memo, Image, Panel, ProgressBar };

enum Flags : unsigned {
    kNone = 0,
    kAutoSize = 1u << 0, // label: the width (the height when wrapping) follows the caption
    kWordWrap = 1u << 1, // label: lines wrap at the width
    kTransparent = 1u << 2, // label, image: the parent shows through
    kReadOnly = 1u << 3, // memo
    kVScroll = 1u << 4, // memo
    kIcon = 1u << 5, // image: the resource is an icon, not a bitmap
    kHidden = 1u << 6, // created invisible
    kPathEllipsis = 1u << 7, // label: a text too long loses the middle of its path
};

struct ControlSpec {
    Kind kind = Kind::Label;
    const char* name = "";
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    const wchar_t* caption = L"";
    const FontSpec* font = nullptr; // null: the parent's font
    unsigned flags = kNone;
    int tabOrder = -1; // -1: none
    int resource = 0; // image: resource id
    uint32_t color = kNoColor; // background
};

enum class Border { ToolWindow, Dialog, Single };
enum class WindowState { Normal, Maximized };
enum class Position { Designed, DesktopCenter, ScreenCenter };

struct FormSpec {
    const wchar_t* caption = L"";
    Border border = Border::Single;
    WindowState state = WindowState::Normal;
    Position position = Position::Designed;
    int left = 0;
    int top = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    uint32_t color = kButtonFace;
    FontSpec font {};
};

struct FrameSpec {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int tabOrder = -1;
};

} // namespace ui
