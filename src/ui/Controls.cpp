#include "ui/Controls.h"

#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "sys/Text.h"
#include "ui/Dpi.h"
#include "ui/Error.h"
#include "ui/Forms.h"

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

constexpr wchar_t kControlProperty[] = L"YnbControl";

constexpr int kSteps = 1000; // a progress bar's resolution

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
    , name_(spec.name != nullptr ? spec.name : "")
    , kind_(spec.kind)
    , flags_(spec.flags)
    , designHeight_(spec.height)
    , color_(spec.color)
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

void Control::Create(
    const ControlSpec& spec, const wchar_t* windowClass, DWORD style, DWORD exStyle, const wchar_t* caption)
{
    if (!(flags_ & kHidden))
        style |= WS_VISIBLE;
    hwnd_ = CreateWindowExW(exStyle, windowClass, caption != nullptr ? caption : L"", WS_CHILD | style,
        Scale(spec.left), Scale(spec.top), Scale(spec.width), Scale(spec.height), parent_.Handle(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)), GetModuleHandleW(nullptr), nullptr);
    if (hwnd_ == nullptr)
        throw Error(L"コントロール " + sys::FromAnsi(name_.c_str()) + L" を作成できません");
    (void)SetPropW(hwnd_, kControlProperty, this);
    HFONT font = parent_.FontHandle();
    if (spec.font != nullptr) {
        font_.Reset(MakeFont(*spec.font));
        if (font_)
            font = static_cast<HFONT>(font_.Get());
    }
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (color_ != kNoColor && !(color_ & kSystemColor))
        brush_.Reset(CreateSolidBrush(ToColorRef(color_)));
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
    if (flags_ & kTransparent)
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
    if (flags_ & kTransparent) {
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    if (color_ != kNoColor) {
        SetBkColor(dc, ToColorRef(color_));
        if (color_ & kSystemColor)
            return GetSysColorBrush(static_cast<int>(color_ & 0xFF));
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
    if (spec.flags & kPathEllipsis)
        style |= SS_PATHELLIPSIS;
    Create(spec, L"Static", style, (spec.flags & kTransparent) ? WS_EX_TRANSPARENT : 0, spec.caption);
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
    if (flags_ & kAutoSize) {
        const sys::WindowDc dc(hwnd_);
        if (dc) {
            HGDIOBJ old = SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
            RECT measure { 0, 0, before.right - before.left, 0 };
            const UINT format = DT_CALCRECT | DT_NOPREFIX | ((flags_ & kWordWrap) ? DT_WORDBREAK : DT_SINGLELINE);
            const std::wstring shown = text.empty() ? std::wstring(L" ") : text;
            if (DrawTextW(dc.Get(), shown.c_str(), static_cast<int>(shown.size()), &measure, format) != 0) {
                int width = before.right - before.left;
                int height = before.bottom - before.top;
                if (flags_ & kWordWrap)
                    height = std::max<int>(Scale(designHeight_), measure.bottom - measure.top);
                else
                    width = measure.right - measure.left;
                (void)SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            SelectObject(dc.Get(), old);
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
    Create(spec, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, spec.caption);
}

void Button::OnCommand(WORD code)
{
    if (code == BN_CLICKED && OnClick)
        OnClick();
}

Edit::Edit(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(spec, L"Edit", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, spec.caption);
}

std::string Edit::Text() const
{
    return sys::ToAnsi(Caption().c_str());
}

void Edit::SetText(const std::string& ansi)
{
    (void)SetWindowTextW(hwnd_, sys::FromAnsi(ansi.c_str()).c_str());
}

CheckBox::CheckBox(Container& parent, const ControlSpec& spec)
    : CheckBox(parent, spec, BS_AUTOCHECKBOX)
{
}

CheckBox::CheckBox(Container& parent, const ControlSpec& spec, DWORD style)
    : Control(parent, spec)
{
    Create(spec, L"Button", style | WS_TABSTOP, 0, spec.caption);
}

RadioButton::RadioButton(Container& parent, const ControlSpec& spec)
    : CheckBox(parent, spec, BS_RADIOBUTTON)
{
}

void RadioButton::OnCommand(WORD code)
{
    if (code == BN_CLICKED && OnClick)
        OnClick();
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
    Create(spec, L"Edit", style, WS_EX_CLIENTEDGE, spec.caption);
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
    SetLines(bytes);
}

void Memo::SetLines(const std::vector<char>& bytes)
{
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
    std::wstring wide = sys::Widen(text.data(), text.size(), sys::kAnsiCodePage);
    // A zero byte inside a line would end the edit's text there.
    std::replace(wide.begin(), wide.end(), L'\0', L' ');
    (void)SetWindowTextW(hwnd_, wide.c_str());
}

Image::Image(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    const bool icon = (spec.flags & kIcon) != 0;
    Create(spec, L"Static", (icon ? SS_ICON : SS_BITMAP), 0, L"");
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HANDLE picture = LoadImageW(instance, MAKEINTRESOURCEW(spec.resource), icon ? IMAGE_ICON : IMAGE_BITMAP,
        icon ? spec.width : 0, icon ? spec.height : 0, LR_DEFAULTCOLOR);
    // A program without the picture (the tests' own programs) shows an empty frame.
    if (picture == nullptr)
        return;
    if (icon)
        icon_.Reset(static_cast<HICON>(picture));
    else
        bitmap_.Reset(picture);
    SendMessageW(hwnd_, STM_SETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
}

Image::~Image()
{
    DestroyHandle(); // before the picture it shows
}

Panel::Panel(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(spec, L"Static", SS_LEFT | SS_SUNKEN, 0, L"");
}

ProgressBar::ProgressBar(Container& parent, const ControlSpec& spec)
    : Control(parent, spec)
{
    Create(spec, PROGRESS_CLASSW, 0, 0, L"");
    SendMessageW(hwnd_, PBM_SETRANGE32, 0, kSteps);
}

void ProgressBar::SetProgress(uint64_t done, uint64_t total)
{
    const int position = total == 0 ? 0 : static_cast<int>(std::min<uint64_t>(done, total) * kSteps / total);
    if (position == shown_)
        return;
    shown_ = position;
    SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

} // namespace ui
