#include "ui/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "ui/Dpi.h"
#include "ui/Error.h"
#include "ui/Forms.h"
#include "ui/Text.h"

namespace ui {

namespace {

COLORREF ToColorRef(uint32_t color)
{
    if (color & kSystemColor)
        return GetSysColor(static_cast<int>(color & 0xFF));
    return static_cast<COLORREF>(color);
}

HFONT MakeFont(const FontSpec& font)
{
    return CreateFontW(-Scale(font.height), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, font.italic ? TRUE : FALSE, FALSE,
        FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
        kFontFace);
}

// Bytes of the system code page with explicit length (a document may hold
// zero bytes) to UTF-16.
std::wstring WidenBytes(const char* bytes, int length)
{
    if (length <= 0)
        return {};
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, bytes, length, wide.data(), needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    // A zero byte inside a line would end the edit's text there.
    std::replace(wide.begin(), wide.end(), L'\0', L' ');
    return wide;
}

constexpr wchar_t kControlProperty[] = L"YnbControl";

int nextControlId = 100; // above IDOK and IDCANCEL, which the dialog manager sends for Enter and Esc

} // namespace

HFONT CreateLayoutFont(const FontSpec& font)
{
    return MakeFont(font);
}

COLORREF LayoutColor(uint32_t color)
{
    return ToColorRef(color);
}

Control::Control(Container& parent, const ControlSpec& spec)
    : parent_(parent)
    , spec_(spec)
    , name_(spec.name)
    , kind_(spec.kind)
    , textColor_(spec.font != nullptr ? spec.font->color : parent.Font().color)
{
}

Control* ControlFromHandle(HWND hwnd)
{
    return hwnd != nullptr ? static_cast<Control*>(GetPropW(hwnd, kControlProperty)) : nullptr;
}

Control::~Control()
{
    DestroyHandle();
}

void Control::DestroyHandle()
{
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        (void)RemovePropW(hwnd_, kControlProperty);
        (void)DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
}

void Control::Create(const wchar_t* windowClass, DWORD style, DWORD exStyle, const wchar_t* caption)
{
    if (!(spec_.flags & kHidden))
        style |= WS_VISIBLE;
    hwnd_ = CreateWindowExW(exStyle, windowClass, caption, WS_CHILD | style, Scale(spec_.left), Scale(spec_.top),
        Scale(spec_.width), Scale(spec_.height), parent_.Handle(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)), GetModuleHandleW(nullptr), nullptr);
    if (hwnd_ == nullptr)
        throw Error(L"コントロール " + FromAnsi(name_) + L" を作成できません");
    (void)SetPropW(hwnd_, kControlProperty, this);
    HFONT font = parent_.FontHandle();
    if (spec_.font != nullptr) {
        font_.Reset(MakeFont(*spec_.font));
        if (font_)
            font = static_cast<HFONT>(font_.Get());
    }
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (spec_.color != kNoColor && !(spec_.color & kSystemColor))
        brush_.Reset(CreateSolidBrush(ToColorRef(spec_.color)));
}

std::wstring Control::Caption() const
{
    const int length = GetWindowTextLengthW(hwnd_);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd_, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

void Control::SetCaption(const std::wstring& text)
{
    (void)SetWindowTextW(hwnd_, text.c_str());
    if (spec_.flags & kTransparent)
        RedrawBeneath();
}

void Control::SetEnabled(bool enabled)
{
    (void)EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

bool Control::Enabled() const
{
    return IsWindowEnabled(hwnd_) != FALSE;
}

void Control::SetVisible(bool visible)
{
    (void)ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

bool Control::Visible() const
{
    return IsWindowVisible(hwnd_) != FALSE;
}

void Control::SetFocus()
{
    (void)::SetFocus(hwnd_);
}

void Control::Command(WORD code)
{
    OnCommand(code);
}

HBRUSH Control::ColorFor(HDC dc, HBRUSH parentBrush) const
{
    SetTextColor(dc, ToColorRef(textColor_));
    if (spec_.flags & kTransparent) {
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    if (spec_.color != kNoColor) {
        SetBkColor(dc, ToColorRef(spec_.color));
        if (spec_.color & kSystemColor)
            return GetSysColorBrush(static_cast<int>(spec_.color & 0xFF));
        return static_cast<HBRUSH>(brush_.Get());
    }
    if (kind_ == Kind::Edit)
        return nullptr; // the edit's own colours
    SetBkColor(dc, ToColorRef(parent_.Color()));
    return parentBrush;
}

void Control::RedrawBeneath()
{
    RECT rect {};
    if (!GetWindowRect(hwnd_, &rect))
        return;
    MapWindowPoints(nullptr, parent_.Handle(), reinterpret_cast<POINT*>(&rect), 2);
    (void)RedrawWindow(parent_.Handle(), &rect, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

Label::Label(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    DWORD style = SS_NOPREFIX | ((spec.flags & kWordWrap) ? SS_LEFT : SS_LEFTNOWORDWRAP);
    Create(L"Static", style, (spec.flags & kTransparent) ? WS_EX_TRANSPARENT : 0, spec.caption);
    // Sized to the caption in the font this system has (the design's may be
    // narrower or missing).
    if (spec.flags & kAutoSize)
        SetText(spec.caption);
}

void Label::SetText(const std::wstring& text)
{
    RECT before {};
    (void)GetWindowRect(hwnd_, &before);
    MapWindowPoints(nullptr, parent_.Handle(), reinterpret_cast<POINT*>(&before), 2);
    if (spec_.flags & kAutoSize) {
        HDC dc = GetDC(hwnd_);
        if (dc != nullptr) {
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
            RECT measure { 0, 0, before.right - before.left, 0 };
            const UINT format = DT_CALCRECT | DT_NOPREFIX | ((spec_.flags & kWordWrap) ? DT_WORDBREAK : DT_SINGLELINE);
            const std::wstring shown = text.empty() ? std::wstring(L" ") : text;
            if (DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &measure, format) != 0) {
                int width = before.right - before.left;
                int height = before.bottom - before.top;
                if (spec_.flags & kWordWrap)
                    height = std::max<int>(Scale(spec_.height), measure.bottom - measure.top);
                else
                    width = measure.right - measure.left;
                (void)SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            SelectObject(dc, old);
            ReleaseDC(hwnd_, dc);
        }
    }
    (void)SetWindowTextW(hwnd_, text.c_str());
    // What the old caption covered (it may have been wider), then the new one.
    (void)RedrawWindow(parent_.Handle(), &before, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    RedrawBeneath();
}

Button::Button(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, spec.caption);
}

void Button::OnCommand(WORD code)
{
    if (code == BN_CLICKED && OnClick)
        OnClick();
}

Edit::Edit(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(L"Edit", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, spec.caption);
}

std::string Edit::Text() const
{
    return ToAnsi(Caption().c_str());
}

void Edit::SetText(const std::string& ansi)
{
    (void)SetWindowTextW(hwnd_, FromAnsi(ansi.c_str()).c_str());
}

CheckBox::CheckBox(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, 0, spec.caption);
}

bool CheckBox::Checked() const
{
    return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool checked)
{
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

Memo::Memo(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP;
    if (spec.flags & kReadOnly)
        style |= ES_READONLY;
    if (spec.flags & kVScroll)
        style |= WS_VSCROLL;
    Create(L"Edit", style, WS_EX_CLIENTEDGE, spec.caption);
}

void Memo::LoadFromFile(const char* fileName)
{
    constexpr DWORD kMaxDocument = 16u << 20; // a licence text, not a library
    sys::UniqueFile file(
        CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw FileOpenError(fileName);
    LARGE_INTEGER size {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxDocument)
        throw FileOpenError(fileName);
    std::vector<char> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty()
        && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)
            || read != bytes.size()))
        throw FileOpenError(fileName);

    // One line per CR LF, LF or CR; the edit control wants CR LF between them.
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    bool lineOpen = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            text += "\r\n";
            lineOpen = false;
        } else {
            text += c;
            lineOpen = true;
        }
    }
    // The last line's end adds no empty line.
    if (!lineOpen && text.size() >= 2)
        text.resize(text.size() - 2);
    const std::wstring wide = WidenBytes(text.data(), static_cast<int>(text.size()));
    (void)SetWindowTextW(hwnd_, wide.c_str());
}

Image::Image(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    const bool icon = (spec.flags & kIcon) != 0;
    Create(L"Static", (icon ? SS_ICON : SS_BITMAP), 0, L"");
    HINSTANCE instance = GetModuleHandleW(nullptr);
    picture_ = LoadImageW(instance, MAKEINTRESOURCEW(spec.resource), icon ? IMAGE_ICON : IMAGE_BITMAP,
        icon ? spec.width : 0, icon ? spec.height : 0, LR_DEFAULTCOLOR);
    // A program without the picture (the tests' own programs) shows an empty frame.
    if (picture_ != nullptr)
        SendMessageW(hwnd_, STM_SETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_));
}

Image::~Image()
{
    DestroyHandle(); // before the picture it shows
    if (picture_ == nullptr)
        return;
    if (spec_.flags & kIcon)
        (void)DestroyIcon(static_cast<HICON>(picture_));
    else
        (void)DeleteObject(picture_);
}

Panel::Panel(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(L"Static", SS_LEFT | SS_SUNKEN, 0, L"");
}

} // namespace ui
