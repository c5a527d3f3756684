#include "ui/Forms.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "ui/Dialogs.h"
#include "ui/Dpi.h"
#include "ui/Error.h"

namespace ui {

namespace {

constexpr wchar_t kFormClass[] = L"YnbForm";
constexpr wchar_t kFrameClass[] = L"YnbFrame";
constexpr int kProgramIcon = 1;

Form* mainForm = nullptr;
bool initialized = false;
bool busy = false;

bool IsFormWindow(HWND hwnd)
{
    wchar_t name[16] = {};
    return GetClassNameW(hwnd, name, 16) > 0 && std::wcscmp(name, kFormClass) == 0;
}

HWND FirstTabStop(HWND form)
{
    return GetNextDlgTabItem(form, nullptr, FALSE);
}

} // namespace

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Container*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Container*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    // No exception may unwind through the system's frames.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (const Error& error) {
        ShowErrorBox(error.Message());
    } catch (const std::bad_alloc&) {
        ShowErrorBox(L"メモリが不足しています");
    } catch (...) {
        ShowErrorBox(L"予期しないエラーが発生しました");
    }
    return 0;
}

Container::Container(const FontSpec& font, uint32_t color)
    : font_(font)
    , color_(color)
{
    Application::Initialize();
    fontHandle_.Reset(CreateLayoutFont(font));
    if (color & kSystemColor) {
        brushHandle_ = GetSysColorBrush(static_cast<int>(color & 0xFF));
    } else {
        brush_.Reset(CreateSolidBrush(LayoutColor(color)));
        brushHandle_ = static_cast<HBRUSH>(brush_.Get());
    }
}

Container::~Container()
{
    controls_.clear();
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        (void)DestroyWindow(hwnd_);
    }
}

Control* Container::FindControl(const char* name) const
{
    for (const auto& control : controls_)
        if (std::strcmp(control->Name(), name) == 0)
            return control.get();
    return nullptr;
}

void Container::BuildControls(std::span<const ControlSpec> layout)
{
    for (const ControlSpec& spec : layout) {
        std::unique_ptr<Control> control;
        switch (spec.kind) {
        case Kind::Label:
            control = std::make_unique<Label>(*this, spec);
            break;
        case Kind::Button:
            control = std::make_unique<Button>(*this, spec);
            break;
        case Kind::Edit:
            control = std::make_unique<Edit>(*this, spec);
            break;
        case Kind::CheckBox:
            control = std::make_unique<CheckBox>(*this, spec);
            break;
        case Kind::RadioButton:
            control = std::make_unique<RadioButton>(*this, spec);
            break;
        case Kind::Memo:
            control = std::make_unique<Memo>(*this, spec);
            break;
        case Kind::Image:
            control = std::make_unique<Image>(*this, spec);
            break;
        case Kind::Panel:
            control = std::make_unique<Panel>(*this, spec);
            break;
        case Kind::ProgressBar:
            control = std::make_unique<ProgressBar>(*this, spec);
            break;
        }
        if (spec.tabOrder >= 0)
            tabOrder_.emplace_back(spec.tabOrder, control->Handle());
        controls_.push_back(std::move(control));
    }
    ApplyTabOrder();
}

// The dialog manager walks siblings in z-order; put the ones with a tab order
// first, in that order, ahead of labels and pictures.
void Container::ApplyTabOrder()
{
    std::stable_sort(
        tabOrder_.begin(), tabOrder_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    HWND previous = HWND_TOP;
    for (const auto& [order, child] : tabOrder_) {
        (void)SetWindowPos(child, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        previous = child;
    }
}

void Container::Show()
{
    (void)ShowWindow(hwnd_, SW_SHOW);
    // The focus must not stay on a control of a page just hidden.
    HWND root = GetAncestor(hwnd_, GA_ROOT);
    HWND focus = GetFocus();
    if (root != nullptr && GetActiveWindow() == root && (focus == nullptr || !IsWindowVisible(focus))) {
        HWND first = FirstTabStop(root);
        if (first != nullptr)
            (void)::SetFocus(first);
    }
}

void Container::SetEnabled(bool enabled)
{
    (void)EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void Container::Hide()
{
    (void)ShowWindow(hwnd_, SW_HIDE);
}

bool Container::Visible() const
{
    return IsWindowVisible(hwnd_) != FALSE;
}

void Container::Repaint()
{
    (void)RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT Container::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client {};
        if (GetClientRect(hwnd_, &client))
            FillRect(reinterpret_cast<HDC>(wParam), &client, brushHandle_);
        return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
        if (Control* control = ControlFromHandle(reinterpret_cast<HWND>(lParam))) {
            if (HBRUSH brush = control->ColorFor(reinterpret_cast<HDC>(wParam), brushHandle_))
                return reinterpret_cast<LRESULT>(brush);
        }
        break;
    case WM_COMMAND:
        if (Control* control = ControlFromHandle(reinterpret_cast<HWND>(lParam))) {
            control->Command(HIWORD(wParam));
            return 0;
        }
        break;
    case WM_NEXTDLGCTL: {
        // Sent by the dialog manager for Tab and Shift+Tab.
        HWND root = GetAncestor(hwnd_, GA_ROOT);
        HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                     : GetNextDlgTabItem(root, GetFocus(), wParam != 0 ? TRUE : FALSE);
        if (target != nullptr) {
            (void)::SetFocus(target);
            if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                SendMessageW(target, EM_SETSEL, 0, -1);
        }
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

Frame::Frame(Form& owner, const FrameSpec& spec, std::span<const ControlSpec> layout)
    : Container(owner.Font(), owner.Color())
{
    HWND created = CreateWindowExW(WS_EX_CONTROLPARENT, kFrameClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
        Scale(spec.left), Scale(spec.top), Scale(spec.width), Scale(spec.height), owner.Handle(), nullptr,
        GetModuleHandleW(nullptr), this);
    if (created == nullptr)
        throw Error(L"ページを作成できません");
    if (spec.tabOrder >= 0)
        owner.AddTabStop(spec.tabOrder, created);
    BuildControls(layout);
}

Form::Form(const FormSpec& spec, std::span<const ControlSpec> layout)
    : Container(spec.font, spec.color)
    , state_(spec.state)
{
    DWORD style = 0;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    switch (spec.border) {
    case Border::ToolWindow:
        style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
        exStyle |= WS_EX_TOOLWINDOW;
        break;
    case Border::Dialog:
        style = WS_POPUP | WS_CAPTION;
        exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        break;
    case Border::Single:
        style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        break;
    }
    RECT frame { 0, 0, Scale(spec.clientWidth), Scale(spec.clientHeight) };
    if (!AdjustWindowRectEx(&frame, style, FALSE, exStyle))
        throw Error(L"ウィンドウの大きさを決められません");
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    int x = Scale(spec.left);
    int y = Scale(spec.top);
    if (spec.position != Position::Designed) {
        x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    HWND created = CreateWindowExW(exStyle, kFormClass, spec.caption, style, x, y, width, height, nullptr, nullptr,
        GetModuleHandleW(nullptr), this);
    if (created == nullptr)
        throw Error(L"ウィンドウを作成できません");
    if (Application::MainForm() == nullptr)
        Application::SetMainForm(this);
    BuildControls(layout);
}

Form::~Form()
{
    if (hwnd_ != nullptr)
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    frames_.clear();
    Application::FormDestroyed(this);
}

void Form::SetCaption(const std::wstring& text)
{
    (void)SetWindowTextW(hwnd_, text.c_str());
}

std::wstring Form::Caption() const
{
    wchar_t text[512] = {};
    const int length = GetWindowTextW(hwnd_, text, 512);
    return std::wstring(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void Form::Show()
{
    if (!IsWindowVisible(hwnd_) && OnShow)
        OnShow();
    (void)ShowWindow(hwnd_, state_ == WindowState::Maximized ? SW_SHOWMAXIMIZED : SW_SHOW);
    (void)SetForegroundWindow(hwnd_);
}

void Form::Focus()
{
    (void)SetForegroundWindow(hwnd_);
    (void)SetActiveWindow(hwnd_);
}

void Form::SetWindowState(WindowState state)
{
    state_ = state;
    if (IsWindowVisible(hwnd_))
        (void)ShowWindow(hwnd_, state == WindowState::Maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void Form::Close()
{
    // While work runs that the windows wait for, no window closes.
    if (Application::Busy())
        return;
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(canClose);
    if (!canClose)
        return;
    if (OnClose)
        OnClose();
    (void)ShowWindow(hwnd_, SW_HIDE);
    // The windows themselves are destroyed by their owners after the loop.
    if (this == Application::MainForm())
        PostQuitMessage(0);
}

void Form::AddTabStop(int tabOrder, HWND child)
{
    tabOrder_.emplace_back(tabOrder, child);
    ApplyTabOrder();
}

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd_, focus))
                lastFocus_ = focus;
            return 0;
        } else {
            HWND focus = lastFocus_;
            if (focus == nullptr || !IsWindow(focus) || !IsWindowVisible(focus) || !IsChild(hwnd_, focus))
                focus = FirstTabStop(hwnd_);
            (void)::SetFocus(focus != nullptr ? focus : hwnd_);
            if (OnActivate)
                OnActivate();
            return 0;
        }
    case WM_LBUTTONDOWN:
        if (OnClick)
            OnClick();
        return 0;
    case WM_QUERYENDSESSION:
        return Application::Busy() ? FALSE : TRUE;
    default:
        break;
    }
    return Container::HandleMessage(message, wParam, lParam);
}

void Application::Initialize()
{
    if (initialized)
        return;
    INITCOMMONCONTROLSEX controls { sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS };
    (void)InitCommonControlsEx(&controls); // the standard classes exist without it
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW form {};
    form.cbSize = sizeof form;
    form.lpfnWndProc = ContainerProc;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    form.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
    form.lpszClassName = kFormClass;
    WNDCLASSEXW frame = form;
    frame.hIcon = nullptr;
    frame.lpszClassName = kFrameClass;
    if (RegisterClassExW(&form) == 0 || RegisterClassExW(&frame) == 0)
        throw Error(L"ウィンドウクラスを登録できません");
    initialized = true;
}

void Application::SetBusy(bool value)
{
    busy = value;
}

bool Application::Busy()
{
    return busy;
}

Form* Application::MainForm()
{
    return mainForm;
}

void Application::SetMainForm(Form* form)
{
    mainForm = form;
}

void Application::FormDestroyed(Form* form)
{
    if (mainForm == form)
        mainForm = nullptr;
}

bool Application::PreTranslate(MSG& msg)
{
    if (msg.hwnd == nullptr)
        return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root == nullptr || !IsFormWindow(root))
        return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        // Enter presses the focused button and nothing else: there is no
        // default button.
        Control* control = ControlFromHandle(GetFocus());
        if (control != nullptr && control->GetKind() == Kind::Button && control->Enabled())
            SendMessageW(control->Handle(), BM_CLICK, 0, 0);
        return true;
    }
    return IsDialogMessageW(root, &msg) != FALSE;
}

void Application::Run()
{
    if (mainForm != nullptr)
        mainForm->Show();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void Application::ProcessMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop that ends
            break;
        }
        if (!PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void Application::Wait(uint32_t milliseconds)
{
    const ULONGLONG start = GetTickCount64();
    for (ULONGLONG elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount64() - start) {
        const auto left = static_cast<DWORD>(milliseconds - elapsed);
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT) == WAIT_OBJECT_0)
            ProcessMessages();
    }
}

} // namespace ui
