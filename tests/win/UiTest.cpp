// The window framework in process: memo loading, the error class and its
// handling at the window procedure, labels that follow their captions,
// closing, message processing, folder trees and the relabelled message box.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "SysScratch.h"
#include "app/Installerback.h"
#include "app/Progress.h"
#include "sys/Win32.h"
#include "ui/Dialogs.h"
#include "ui/Dpi.h"
#include "ui/Error.h"
#include "ui/Forms.h"
#include "wizard/Installermain.h"

namespace {

constexpr ui::FormSpec kTestForm {
    .caption = L"UiTest",
    .border = ui::Border::Single,
    .position = ui::Position::ScreenCenter,
    .clientWidth = 300,
    .clientHeight = 200,
};

constexpr ui::ControlSpec kLayout[] = {
    { .kind = ui::Kind::Memo,
        .name = "Memo1",
        .left = 0,
        .top = 0,
        .width = 200,
        .height = 100,
        .flags = ui::kReadOnly | ui::kVScroll,
        .tabOrder = 0 },
    { .kind = ui::Kind::Label,
        .name = "Label1",
        .left = 10,
        .top = 120,
        .width = 50,
        .height = 13,
        .caption = L"短い",
        .flags = ui::kAutoSize },
    { .kind = ui::Kind::Button,
        .name = "Button1",
        .left = 10,
        .top = 150,
        .width = 80,
        .height = 20,
        .caption = L"押す",
        .tabOrder = 1 },
};

// Presses the button with `buttonText` in the next message box of this
// process and records the box's caption, message and buttons.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const wchar_t* buttonText)
        : thread_([this, buttonText] {
            const auto isBox = [](HWND h) { return driver::ClassOf(h) == L"#32770"; };
            HWND box = nullptr;
            driver::WaitFor([&] { return done_ || (box = driver::WaitWindow(isBox, GetCurrentProcessId(), 0)); });
            if (box == nullptr)
                return;
            caption = driver::Text(box);
            for (HWND child : driver::Children(box)) {
                const std::wstring text = driver::Text(child);
                if (driver::ClassOf(child) == L"Button")
                    buttons += text + L"|";
                else if (driver::ClassOf(child) == L"Static" && !text.empty())
                    message = text;
            }
            driver::Click(driver::ChildWithText(box, buttonText, L"Button"));
        })
    {
    }
    ~BoxAnswerer() { Join(); }
    void Join()
    {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    std::wstring caption, message, buttons;

private:
    std::atomic<bool> done_ { false };
    std::thread thread_;
};

// A document written into the scratch folder; its path.
std::string Document(const scratch::TempFolder& folder, const char* name, const std::string& bytes)
{
    const std::string file = folder / name;
    EXPECT_TRUE(scratch::Write(file, bytes));
    return file;
}

class Framework : public ::testing::Test {
protected:
    Framework()
        : form(kTestForm, kLayout)
    {
    }
    ui::Form form;
    ui::Memo* Memo() { return form.Find<ui::Memo>("Memo1"); }
    scratch::TempFolder scratch { "ui" };
};

TEST_F(Framework, MemoShowsEveryLineWhateverItsEnd)
{
    struct Case {
        const char* bytes;
        const wchar_t* shown;
    } cases[] = {
        { "one\r\ntwo\r\n", L"one\r\ntwo" },
        { "one\ntwo\n", L"one\r\ntwo" },
        { "one\rtwo\r", L"one\r\ntwo" },
        { "one\r\ntwo", L"one\r\ntwo" },
        { "one\n\ntwo\n", L"one\r\n\r\ntwo" },
        { "", L"" },
        { "\x83\x65\x83\x58\x83\x67\r\n", L"テスト" },
    };
    for (const Case& c : cases) {
        const std::string file = Document(scratch, "doc.txt", c.bytes);
        Memo()->LoadFromFile(file.c_str());
        EXPECT_EQ(c.shown, Memo()->Caption()) << testing::PrintToString(std::string(c.bytes));
    }
    // A zero byte inside a line does not cut the document short.
    const std::string file = Document(scratch, "zero.txt", std::string("a\0b\r\nc", 6));
    Memo()->LoadFromFile(file.c_str());
    EXPECT_EQ(L"a b\r\nc", Memo()->Caption());
}

TEST_F(Framework, MissingFileRaisesTheFileOpenErrorAndKeepsTheText)
{
    const std::string file = Document(scratch, "doc.txt", "kept\r\n");
    Memo()->LoadFromFile(file.c_str());
    try {
        Memo()->LoadFromFile("no-such-document.txt");
        FAIL() << "no error";
    } catch (const ui::Error& error) {
        EXPECT_EQ(L"ファイル no-such-document.txt は開けません", error.Message());
    }
    EXPECT_EQ(L"kept", Memo()->Caption());
}

TEST_F(Framework, ErrorInAHandlerIsShownAndStopsAtTheWindowProcedure)
{
    auto* button = form.Find<ui::Button>("Button1");
    ASSERT_NE(nullptr, button);
    int clicks = 0;
    button->OnClick = [&] {
        ++clicks;
        throw ui::FileOpenError("license.txt");
    };
    form.Show();
    BoxAnswerer answer(L"OK");
    SendMessageW(button->Handle(), BM_CLICK, 0, 0); // the box is answered by the other thread
    answer.Join();
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(L"ファイル license.txt は開けません", answer.message);
    EXPECT_EQ(L"OK|", answer.buttons);
    // The form goes on working.
    EXPECT_TRUE(IsWindow(form.Handle()));
}

TEST_F(Framework, AutoSizedLabelFollowsItsCaption)
{
    auto* label = form.Find<ui::Label>("Label1");
    ASSERT_NE(nullptr, label);
    RECT before {}, after {};
    GetWindowRect(label->Handle(), &before);
    label->SetText(L"ずっと長いキャプションになりました");
    GetWindowRect(label->Handle(), &after);
    EXPECT_GT(after.right - after.left, before.right - before.left);
    EXPECT_EQ(before.bottom - before.top, after.bottom - after.top);
    EXPECT_EQ(before.left, after.left);
}

// A layout whose specs, names, texts and font die with the construction (the
// uninstaller's progress window is built so): the controls keep what they
// need, so finding, colouring and captioning work after that memory has been
// overwritten and freed.
TEST(Controls, KeepWhatTheyNeedOfSpecsThatDieWithTheConstruction)
{
    auto name = std::make_unique<char[]>(16);
    std::strcpy(name.get(), "Transient");
    auto caption = std::make_unique<wchar_t[]>(16);
    std::wcscpy(caption.get(), L"仮の文字");
    auto font = std::make_unique<ui::FontSpec>(ui::FontSpec { .height = 12, .color = 0x0000FF });
    auto specs = std::make_unique<ui::ControlSpec[]>(2);
    specs[0] = { .kind = ui::Kind::Label,
        .name = name.get(),
        .left = 4,
        .top = 4,
        .width = 40,
        .height = 13,
        .caption = caption.get(),
        .font = font.get(),
        .flags = ui::kTransparent | ui::kAutoSize };
    specs[1] = {
        .kind = ui::Kind::Panel, .name = "Opaque", .left = 4, .top = 40, .width = 40, .height = 13, .color = 0x00FF00
    };
    ui::Form form(kTestForm, std::span<const ui::ControlSpec>(specs.get(), 2));
    std::memset(name.get(), 0xA5, 16);
    std::wmemset(caption.get(), 0xA5A5, 16);
    std::memset(static_cast<void*>(font.get()), 0xA5, sizeof(ui::FontSpec));
    std::memset(static_cast<void*>(specs.get()), 0xA5, 2 * sizeof(ui::ControlSpec));
    specs.reset();
    font.reset();
    caption.reset();
    name.reset();

    auto* label = form.Find<ui::Label>("Transient");
    auto* panel = form.Find<ui::Panel>("Opaque");
    ASSERT_NE(nullptr, label);
    ASSERT_NE(nullptr, panel);
    label->SetText(L"後の文字");
    EXPECT_EQ(L"後の文字", label->Caption());
    HDC dc = GetDC(form.Handle());
    HBRUSH parent = form.Brush();
    EXPECT_EQ(GetStockObject(NULL_BRUSH), label->ColorFor(dc, parent)); // transparent
    EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
    EXPECT_EQ(RGB(255, 0, 0), GetTextColor(dc)); // the label's own font colour
    SetBkMode(dc, OPAQUE);
    HBRUSH own = panel->ColorFor(dc, parent);
    EXPECT_NE(parent, own);
    EXPECT_EQ(RGB(0, 255, 0), GetBkColor(dc));
    ReleaseDC(form.Handle(), dc);
}

TEST_F(Framework, CloseAsksFirstAndHidesAFormThatIsNotTheMainOne)
{
    // The fixture's form is not the first one of this process in every run;
    // make a second, which certainly is not the main form.
    ui::Form other(kTestForm);
    other.Show();
    ASSERT_TRUE(IsWindowVisible(other.Handle()));
    bool allow = false;
    int closes = 0;
    other.OnCloseQuery = [&](bool& canClose) { canClose = allow; };
    other.OnClose = [&] { ++closes; };
    other.Close();
    EXPECT_TRUE(IsWindowVisible(other.Handle()));
    EXPECT_EQ(0, closes);
    allow = true;
    SendMessageW(other.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindowVisible(other.Handle()));
    EXPECT_TRUE(IsWindow(other.Handle()));
    EXPECT_EQ(1, closes);
}

TEST_F(Framework, ProcessMessagesHandlesPendingWorkAndKeepsTheQuit)
{
    auto* button = form.Find<ui::Button>("Button1");
    int clicks = 0;
    button->OnClick = [&] { ++clicks; };
    PostMessageW(button->Handle(), BM_CLICK, 0, 0);
    ui::Application::ProcessMessages();
    EXPECT_EQ(1, clicks);
    PostQuitMessage(7);
    ui::Application::ProcessMessages();
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
}

TEST_F(Framework, ConfirmationCarriesItsOwnButtonTexts)
{
    {
        BoxAnswerer answer(L"キャンセル");
        EXPECT_FALSE(ui::Confirm(L"質問"));
        answer.Join();
        EXPECT_EQ(L"確認", answer.caption);
        EXPECT_EQ(L"OK|キャンセル|", answer.buttons);
        EXPECT_EQ(L"質問", answer.message);
    }
    {
        BoxAnswerer answer(L"OK");
        EXPECT_TRUE(ui::Confirm(L"質問"));
    }
}

TEST_F(Framework, FolderTreeIsCreatedCharacterByCharacter)
{
    // 表 is 0x95 0x5C in code page 932: its trail byte is a backslash.
    const std::string target = scratch.Path() + "\\\x95\x5C\\\x8E\xA6\\leaf";
    EXPECT_TRUE(sys::CreateFolderTree(target.c_str()));
    const DWORD attributes = GetFileAttributesA(target.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // Nothing but 表 was made in the scratch folder (no folder cut at the
    // trail byte).
    EXPECT_EQ(std::vector<std::wstring> { L"表" }, driver::Names(driver::Wide(scratch.Path())));
    EXPECT_TRUE(driver::Exists(driver::Wide(scratch.Path()) + L"\\表\\示\\leaf"));
    // An existing tree is fine, an empty or overlong path is refused.
    EXPECT_TRUE(sys::CreateFolderTree(target.c_str()));
    EXPECT_FALSE(sys::CreateFolderTree(""));
    EXPECT_FALSE(sys::CreateFolderTree(std::string(300, 'a').c_str()));
    // A file in the way is no folder.
    const std::string file = Document(scratch, "file", "x");
    EXPECT_FALSE(sys::CreateFolderTree((file + "\\below").c_str()));
}

// The program's three windows are held by their globals from the end of
// their construction until they are destroyed: the pages, built while the
// wizard is, take what they need from the window being built.
TEST(WindowGlobals, HoldTheirWindowsOnlyWhileTheyLive)
{
    ui::Application::Initialize();
    // The wizard reads its first document from the current folder.
    scratch::TempFolder folder("globals");
    (void)Document(folder, "setup.txt", "document\r\n");
    const std::string before = sys::CurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    {
        auto wizard = std::make_unique<TForm2>();
        EXPECT_EQ(wizard.get(), Form2);
        EXPECT_NE('\0', wizard->Record.DefaultFolder[0]);
        EXPECT_EQ(std::string(wizard->Record.DefaultFolder), wizard->TFrame31->Edit1->Text());
        auto backdrop = std::make_unique<TForm1>();
        auto progress = std::make_unique<TForm3>();
        EXPECT_EQ(backdrop.get(), Form1);
        EXPECT_EQ(progress.get(), Form3);
        progress.reset();
        backdrop.reset();
        EXPECT_EQ(nullptr, Form3);
        EXPECT_EQ(nullptr, Form1);
    }
    EXPECT_EQ(nullptr, Form2);
    (void)SetCurrentDirectoryA(before.c_str());
}

TEST(Dpi, LayoutPixelsAreScreenPixelsAt96Dpi)
{
    if (ui::ScreenDpi() != 96)
        GTEST_SKIP() << "screen at " << ui::ScreenDpi() << " dpi";
    EXPECT_EQ(125, ui::Scale(125));
    EXPECT_EQ(-8, ui::Scale(-8));
}

} // namespace
