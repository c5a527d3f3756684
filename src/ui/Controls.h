// Controls: each is a real child window of its standard class (labels,
// images and panels are STATIC controls, the memo a read-only multi-line
// EDIT), created from a layout record by its parent and owned by it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "sys/Handle.h"
#include "ui/Layout.h"

namespace ui {

class Container;

class Control {
public:
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    HWND Handle() const { return hwnd_; }
    const char* Name() const { return name_.c_str(); }
    Kind GetKind() const { return kind_; }

    std::wstring Caption() const;
    void SetCaption(const std::wstring& text);
    void SetEnabled(bool enabled);
    bool Enabled() const;
    void SetVisible(bool visible);
    bool Visible() const;
    void SetFocus();

    // Called by the parent for WM_COMMAND and WM_CTLCOLOR* of this control.
    void Command(WORD code);
    HBRUSH ColorFor(HDC dc, HBRUSH parentBrush) const;

protected:
    // Keeps copies of what it needs of the spec, never the spec itself: a
    // layout may be built from specs that do not outlive the construction.
    Control(Container& parent, const ControlSpec& spec);
    // Creates the window with the spec's place, font and colour and the given
    // caption; the parent's font unless the spec has its own.
    void Create(
        const ControlSpec& spec, const wchar_t* windowClass, DWORD style, DWORD exStyle, const wchar_t* caption);
    virtual void OnCommand(WORD) { }
    void DestroyHandle();
    // Redraws the parent beneath a transparent control.
    void RedrawBeneath();

    Container& parent_;
    HWND hwnd_ = nullptr;
    const std::string name_;
    const Kind kind_;
    const unsigned flags_;
    const int designHeight_; // at 96 dpi
    const uint32_t color_; // background
    const uint32_t textColor_;
    sys::UniqueGdi font_;
    sys::UniqueGdi brush_;
};

class Label : public Control {
public:
    Label(Container& parent, const ControlSpec& spec);
    // With automatic sizing the width (without word wrap) or the height (with
    // it) follows the new caption.
    void SetText(const std::wstring& text);
};

class Button : public Control {
public:
    Button(Container& parent, const ControlSpec& spec);
    std::function<void()> OnClick;

protected:
    void OnCommand(WORD code) override;
};

class Edit : public Control {
public:
    Edit(Container& parent, const ControlSpec& spec);
    // The text as ANSI bytes (paths), and back.
    std::string Text() const;
    void SetText(const std::string& ansi);
};

class CheckBox : public Control {
public:
    CheckBox(Container& parent, const ControlSpec& spec);
    CheckBox(Container& parent, const ControlSpec& spec, DWORD style);
    bool Checked() const;
    void SetChecked(bool checked);
};

// A radio button whose check its owner sets (OnClick tells of a click): the
// buttons of a choice need no group of their own among the page's controls.
class RadioButton : public CheckBox {
public:
    RadioButton(Container& parent, const ControlSpec& spec);
    std::function<void()> OnClick;

protected:
    void OnCommand(WORD code) override;
};

class Memo : public Control {
public:
    Memo(Container& parent, const ControlSpec& spec);
    // Replaces the lines with those of the file (system code page, CR LF, LF
    // or CR line ends). Throws FileOpenError when the file cannot be read.
    void LoadFromFile(const char* fileName);
    // The same from the bytes of a text.
    void SetLines(const std::vector<char>& bytes);
};

class Image : public Control {
public:
    Image(Container& parent, const ControlSpec& spec);
    ~Image() override;

private:
    // The picture shown: a bitmap or an icon; released after the window.
    sys::UniqueGdi bitmap_;
    sys::UniqueIcon icon_;
};

class Panel : public Control {
public:
    Panel(Container& parent, const ControlSpec& spec);
};

// A bar that fills from left to right as the work advances.
class ProgressBar : public Control {
public:
    ProgressBar(Container& parent, const ControlSpec& spec);
    // done of total, drawn in thousandths; total 0 shows an empty bar.
    void SetProgress(uint64_t done, uint64_t total);

private:
    int shown_ = -1;
};

// For the framework: a layout font (caller deletes) and a layout colour.
HFONT CreateLayoutFont(const FontSpec& font);
COLORREF LayoutColor(uint32_t color);
// The control behind a child window of the framework, or null.
Control* ControlFromHandle(HWND hwnd);

} // namespace ui
