// はなまる家計簿: the demo product's main program. A window that shows the
// product's name; enough to see that the installation delivered a program
// that runs and that its shortcuts start it.
#include <windows.h>

namespace {

constexpr wchar_t kClassName[] = L"HanamaruKakeibo";
constexpr wchar_t kTitle[] = L"はなまる家計簿";
constexpr wchar_t kSubtitle[] = L"はなまるソフト工房  バージョン 1.2.0";

void Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr)
        return;
    RECT area;
    GetClientRect(window, &area);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xC0, 0x30, 0x50));
    HFONT big = CreateFontW(-40, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS UI Gothic");
    HGDIOBJ previous = big != nullptr ? SelectObject(dc, big) : nullptr;
    RECT upper = area;
    upper.bottom = area.bottom / 2 + 10;
    DrawTextW(dc, kTitle, -1, &upper, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
    if (previous != nullptr)
        SelectObject(dc, previous);
    if (big != nullptr)
        DeleteObject(big);
    SetTextColor(dc, RGB(0x40, 0x40, 0x40));
    RECT lower = area;
    lower.top = area.bottom / 2 + 24;
    DrawTextW(dc, kSubtitle, -1, &lower, DT_CENTER | DT_TOP | DT_SINGLELINE);
    EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = CreateSolidBrush(RGB(0xFF, 0xF6, 0xE8));
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0)
        return 1;
    HWND window = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 300,
        nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
