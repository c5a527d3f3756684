// Forms (top-level windows) and frames (pages inside a form), built from
// layout tables. The window procedure lives here and only dispatches; an
// error escaping a handler is caught before it reaches Win32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sys/Handle.h"
#include "ui/Controls.h"
#include "ui/Layout.h"

namespace ui {

// What forms and frames share: a window that owns controls, a background
// colour and a font that its controls inherit.
class Container {
public:
    virtual ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    HWND Handle() const { return hwnd_; }
    const FontSpec& Font() const { return font_; }
    HFONT FontHandle() const { return static_cast<HFONT>(fontHandle_.Get()); }
    HBRUSH Brush() const { return brushHandle_; }
    uint32_t Color() const { return color_; }

    // The control of the layout with this name; throws nothing, null when absent.
    Control* FindControl(const char* name) const;
    template <typename T>
    T* Find(const char* name) const
    {
        return dynamic_cast<T*>(FindControl(name));
    }

    void Show();
    void Hide();
    bool Visible() const;
    void Repaint();
    // Whether the window and what it holds take input.
    void SetEnabled(bool enabled);

protected:
    Container(const FontSpec& font, uint32_t color);
    // Creates the controls of the table in its order, then puts the windows
    // in tab order (controls without one keep their creation order).
    void BuildControls(std::span<const ControlSpec> layout);
    void ApplyTabOrder();
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    FontSpec font_;
    uint32_t color_;
    sys::UniqueGdi fontHandle_;
    sys::UniqueGdi brush_; // owned when the colour is no system colour
    HBRUSH brushHandle_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
    // Children (controls and frames) with their tab order.
    std::vector<std::pair<int, HWND>> tabOrder_;

    friend class Control;
    friend LRESULT CALLBACK ContainerProc(HWND, UINT, WPARAM, LPARAM);
};

class Form;

// A page: a child window of a form with controls of its own.
class Frame : public Container {
public:
    Frame(Form& owner, const FrameSpec& spec, std::span<const ControlSpec> layout);
};

class Form : public Container {
public:
    // The first form created is the application's main window. The window is
    // created hidden.
    Form(const FormSpec& spec, std::span<const ControlSpec> layout = {});
    ~Form() override;

    void SetCaption(const std::wstring& text);
    std::wstring Caption() const;
    // Shows (the show event first, the first time and whenever hidden) and
    // activates.
    void Show();
    // The close operation: the close query, then the close event; the main
    // form then ends the message loop, any other form is hidden.
    void Close();
    void SetWindowState(WindowState state);
    // Brings the form to the front with the input focus.
    void Focus();

    std::function<void()> OnShow;
    std::function<void()> OnActivate;
    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void()> OnClose;
    std::function<void()> OnClick;

    // Takes ownership of a page built on this form; returns it.
    template <typename T>
    T* AdoptFrame(std::unique_ptr<T> frame)
    {
        T* raw = frame.get();
        frames_.push_back(std::move(frame));
        return raw;
    }
    void AddTabStop(int tabOrder, HWND child);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    WindowState state_; // the spec is not kept: its texts may not outlive the construction
    std::vector<std::unique_ptr<Frame>> frames_;
    HWND lastFocus_ = nullptr;
};

class Application {
public:
    // Registers the window classes and the common controls.
    static void Initialize();
    static Form* MainForm();
    // Shows the main form and runs the message loop until it closes.
    static void Run();
    // Handles every pending message, then returns.
    static void ProcessMessages();
    // Waits so many milliseconds, handling messages as they arrive.
    static void Wait(uint32_t milliseconds);
    // Keyboard navigation for the forms; true when the message was handled.
    static bool PreTranslate(MSG& msg);

    // While busy (an installation runs on the windows' thread, pumping their
    // messages while it waits), no form closes and the session may not end.
    static void SetBusy(bool busy);
    static bool Busy();

    static void SetMainForm(Form* form);
    static void FormDestroyed(Form* form);
};

} // namespace ui
