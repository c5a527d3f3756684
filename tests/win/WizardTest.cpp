// The wizard, the backdrop and their dialogs, driven from outside as a user
// would: setup.exe runs in a fresh folder of its own for every case.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "sys/Text.h"

using driver::ClassOf;
using driver::RectIn;
using driver::StyleOf;
using driver::Text;

namespace {

const std::wstring kProductName = L"はなまる家計簿";
const std::wstring kCancelQuestion = L"セットアップをキャンセルします。\nよろしいですか？";

std::wstring Artifacts()
{
    return driver::HostPath(YNB_ARTIFACTS);
}

std::wstring ShotPath(const std::wstring& name)
{
    return driver::ShotPath(Artifacts(), name);
}

// A document as the memo shows it: code page 932, CR LF between lines.
std::wstring Document(const char* name)
{
    std::string bytes = driver::ReadBytes(driver::HostPath(YNB_DOCUMENTS) + L"\\" + driver::Wide(name));
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.pop_back();
    std::wstring text(bytes.size(), L'\0');
    const int n = MultiByteToWideChar(
        932, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), static_cast<int>(text.size()));
    text.resize(n > 0 ? n : 0);
    return text;
}

enum class Page { None, Welcome, Licence, Destination, Completion };

const char* PageName(Page page)
{
    switch (page) {
    case Page::Welcome:
        return "welcome";
    case Page::Licence:
        return "licence";
    case Page::Destination:
        return "destination";
    case Page::Completion:
        return "completion";
    default:
        return "none";
    }
}

class Wizard : public ::testing::Test {
protected:
    // setup.exe in a folder of the case's own under the artifacts, started;
    // with the setup text, up to its welcome page.
    bool Launch(bool withSetupText = true, bool withLicenseText = true, const char* program = YNB_SETUP_EXE,
        bool withPayload = false, bool toWizard = true)
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-'); // a parameterised case's name
        const std::wstring folder
            = Artifacts() + L"\\runs\\" + driver::Wide(name) + L"-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(Artifacts().c_str(), nullptr);
        CreateDirectoryW((Artifacts() + L"\\runs").c_str(), nullptr);
        setup = std::make_unique<driver::Setup>(
            driver::HostPath(program), driver::HostPath(YNB_DOCUMENTS), folder, withSetupText, withLicenseText);
        if (!setup->Start(withPayload ? driver::HostPath(YNB_UI_DIST) + L"\\data00.dat" : std::wstring()))
            return false;
        if (!withSetupText || !toWizard)
            return true;
        wizard = setup->Wizard();
        return wizard != nullptr && ShowsPage(Page::Welcome);
    }

    // The visible page of the wizard.
    HWND PageWindow() const { return driver::VisiblePage(wizard); }

    // Which page a frame is: by the button only it carries.
    static Page KindOf(HWND frame)
    {
        if (frame == nullptr)
            return Page::None;
        if (driver::ChildWithText(frame, L"次へ >"))
            return Page::Welcome;
        if (driver::ChildWithText(frame, L"同意 >"))
            return Page::Licence;
        if (driver::ChildWithText(frame, L"開始 >"))
            return Page::Destination;
        if (driver::ChildWithText(frame, L"終了"))
            return Page::Completion;
        return Page::None;
    }

    Page CurrentPage() const { return KindOf(PageWindow()); }

    HWND Frame(Page page) const
    {
        for (HWND child : driver::Children(wizard))
            if (ClassOf(child) == L"YnbFrame" && KindOf(child) == page)
                return child;
        return nullptr;
    }

    HWND PageButton(const std::wstring& text) const
    {
        HWND page = PageWindow();
        return page != nullptr ? driver::ChildWithText(page, text, L"Button") : nullptr;
    }

    // The page's title: the label at top 22.
    std::wstring Title(HWND frame) const
    {
        for (HWND child : driver::Descendants(frame))
            if (ClassOf(child) == L"Static" && RectIn(child, frame).top == 22)
                return Text(child);
        return L"<no title>";
    }

    HWND Memo() const { return driver::ChildOfClass(Frame(Page::Licence), L"Edit", ES_MULTILINE); }
    HWND FolderEdit() const { return driver::ChildOfClass(Frame(Page::Destination), L"Edit"); }

    ::testing::AssertionResult ShowsPage(Page page)
    {
        if (driver::WaitFor([&] { return CurrentPage() == page; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << "shows the " << PageName(CurrentPage()) << " page, not the " << PageName(page);
    }

    ::testing::AssertionResult ShowsDocument(int step)
    {
        const std::wstring document = Document(step == 0 ? "setup.txt" : "license.txt");
        const std::wstring title = step == 0 ? L"ソフトウェア使用許諾" : L"シェアウェアパッケージ使用許諾";
        if (!ShowsPage(Page::Licence))
            return ShowsPage(Page::Licence);
        if (driver::WaitFor([&] { return Text(Memo()) == document && Title(PageWindow()) == title; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << "document " << step << " not shown; title " << testing::PrintToString(Title(PageWindow()));
    }

    // The cancel question, once it is open, with its texts checked.
    HWND CancelQuestion()
    {
        HWND box = setup->Dialog(L"確認");
        if (box == nullptr)
            return nullptr;
        EXPECT_NE(nullptr, driver::ChildWithText(box, kCancelQuestion, L"Static"));
        EXPECT_NE(nullptr, driver::ChildWithText(box, L"OK", L"Button"));
        EXPECT_NE(nullptr, driver::ChildWithText(box, L"キャンセル", L"Button"));
        EXPECT_NE(nullptr, driver::ChildOfClass(box, L"Static", SS_ICON)) << "no question icon";
        return box;
    }

    std::unique_ptr<driver::Setup> setup;
    HWND wizard = nullptr;
};

TEST_F(Wizard, CaptionsCarryTheProductName)
{
    ASSERT_TRUE(Launch());
    HWND backdrop = setup->Backdrop();
    ASSERT_NE(nullptr, backdrop);
    EXPECT_EQ(kProductName + L"のセットアップ", Text(wizard));
    EXPECT_EQ(kProductName + L"のセットアップ", Title(Frame(Page::Welcome)));
    EXPECT_TRUE(driver::WaitFor([&] { return Text(backdrop) == kProductName + L"セットアップ"; }))
        << testing::PrintToString(Text(backdrop));
    std::vector<std::wstring> labels;
    for (HWND child : driver::Children(backdrop))
        labels.push_back(Text(child));
    EXPECT_EQ((std::vector<std::wstring> { kProductName, kProductName }), labels);
    driver::Screenshot(ShotPath(L"backdrop-and-welcome"));
}

TEST_F(Wizard, CaptionsWithAnEmptyProductName)
{
    ASSERT_TRUE(Launch(true, true, YNB_SETUP_NONAME_EXE));
    HWND backdrop = setup->Backdrop();
    ASSERT_NE(nullptr, backdrop);
    EXPECT_EQ(L"のセットアップ", Text(wizard));
    EXPECT_EQ(L"のセットアップ", Title(Frame(Page::Welcome)));
    EXPECT_TRUE(driver::WaitFor([&] { return Text(backdrop) == L"セットアップ"; }));
    for (HWND child : driver::Children(backdrop))
        EXPECT_EQ(L"", Text(child));
}

TEST_F(Wizard, BackdropFillsTheScreenBehindTheWizard)
{
    ASSERT_TRUE(Launch());
    HWND backdrop = setup->Backdrop();
    ASSERT_NE(nullptr, backdrop);
    EXPECT_TRUE(IsZoomed(backdrop));
    RECT client {};
    GetClientRect(backdrop, &client);
    EXPECT_GE(client.right, GetSystemMetrics(SM_CXSCREEN) * 9 / 10);
    // Front to back: the wizard comes before the backdrop, once the X server
    // has taken the order the program asked for (it may lag a moment).
    const auto inFront = [&] {
        const auto windows = setup->Windows();
        const auto wizardAt = std::find(windows.begin(), windows.end(), wizard);
        const auto backdropAt = std::find(windows.begin(), windows.end(), backdrop);
        return wizardAt != windows.end() && backdropAt != windows.end() && wizardAt < backdropAt;
    };
    EXPECT_TRUE(driver::WaitFor(inFront, 3000));
    EXPECT_EQ(wizard, GetForegroundWindow());
    // The progress window exists but stays hidden until the installation.
    EXPECT_EQ(nullptr, setup->Find([](HWND h) { return Text(h) == L"インストール"; }));
    HWND progress = FindWindowW(L"YnbForm", L"インストール");
    ASSERT_NE(nullptr, progress);
    EXPECT_FALSE(driver::IsVisible(progress));
    EXPECT_NE(nullptr, driver::ChildWithText(progress, L"インストール中...", L"Static"));
    // A click on the backdrop brings the wizard back to the front.
    SetForegroundWindow(backdrop);
    PostMessageW(backdrop, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 300));
    PostMessageW(backdrop, WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
    EXPECT_TRUE(driver::WaitFor([&] { return GetForegroundWindow() == wizard; }));
}

TEST_F(Wizard, WalkShowsEveryPageAndDocumentInTurn)
{
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(setup->Press(L"次へ >"));
    ASSERT_TRUE(ShowsDocument(0));
    driver::Screenshot(ShotPath(L"licence-setup-txt"));
    ASSERT_TRUE(setup->Press(L"同意 >"));
    ASSERT_TRUE(ShowsDocument(1));
    driver::Screenshot(ShotPath(L"licence-license-txt"));
    ASSERT_TRUE(setup->Press(L"同意 >"));
    ASSERT_TRUE(ShowsPage(Page::Destination));
    driver::Screenshot(ShotPath(L"destination"));
    ASSERT_TRUE(setup->Press(L"< 戻る"));
    ASSERT_TRUE(ShowsDocument(1));
    ASSERT_TRUE(setup->Press(L"< 戻る"));
    ASSERT_TRUE(ShowsDocument(0));
    ASSERT_TRUE(setup->Press(L"< 戻る"));
    ASSERT_TRUE(ShowsPage(Page::Welcome));
    ASSERT_TRUE(setup->Press(L"次へ >"));
    ASSERT_TRUE(ShowsDocument(0));
    EXPECT_TRUE(setup->NoDialog());
}

// A single-file setup shows the documents it holds: it needs none beside it.
TEST_F(Wizard, ASingleFileShowsTheDocumentsItHolds)
{
    ASSERT_TRUE(Launch(false, false, YNB_SETUP_SINGLE_EXE, false, false));
    wizard = setup->Wizard();
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(ShowsPage(Page::Welcome));
    ASSERT_TRUE(setup->Press(L"次へ >"));
    ASSERT_TRUE(ShowsDocument(0));
    ASSERT_TRUE(setup->Press(L"同意 >"));
    ASSERT_TRUE(ShowsDocument(1));
    ASSERT_TRUE(setup->Press(L"同意 >"));
    ASSERT_TRUE(ShowsPage(Page::Destination));
    EXPECT_TRUE(setup->NoDialog());
}

// The cancel question, from every page and every way of asking it, answered
// either way: OK ends the program with 0 before it has written a file; Cancel
// keeps the page, the document and the step as they were, so that the next
// button leads where it led before.
struct CancelCase {
    const char* name;
    Page page; // where the user asks
    int document; // on the licence page, which document is shown
    bool closeBox; // the wizard's close box, or the page's Cancel (Do not agree on the licence page)
    const wchar_t* answer;
    const wchar_t* shot; // a screenshot of the question, or null
};

const CancelCase kCancelCases[] = {
    { "WelcomeCancelOk", Page::Welcome, 0, false, L"OK", nullptr },
    { "WelcomeCloseBoxOk", Page::Welcome, 0, true, L"OK", nullptr },
    { "FirstDocumentDoNotAgreeOk", Page::Licence, 0, false, L"OK", nullptr },
    { "DestinationCancelOk", Page::Destination, 0, false, L"OK", nullptr },
    { "DestinationCloseBoxOk", Page::Destination, 0, true, L"OK", nullptr },
    { "WelcomeCancelStays", Page::Welcome, 0, false, L"キャンセル", L"cancel-question" },
    { "FirstDocumentDoNotAgreeStays", Page::Licence, 0, false, L"キャンセル", nullptr },
    { "SecondDocumentDoNotAgreeStays", Page::Licence, 1, false, L"キャンセル", nullptr },
    { "DestinationCancelStays", Page::Destination, 0, false, L"キャンセル", nullptr },
    { "DestinationCloseBoxStays", Page::Destination, 0, true, L"キャンセル", nullptr },
};

class CancelFlow : public Wizard, public ::testing::WithParamInterface<CancelCase> {
protected:
    // The page (and document) of the case.
    ::testing::AssertionResult Shows(Page page, int document)
    {
        return page == Page::Licence ? ShowsDocument(document) : ShowsPage(page);
    }
};

TEST_P(CancelFlow, QuestionAnsweredAsTheTableSays)
{
    const CancelCase& c = GetParam();
    ASSERT_TRUE(Launch());
    if (c.page == Page::Licence) {
        ASSERT_TRUE(setup->Press(L"次へ >"));
        for (int document = 1; document <= c.document; ++document) {
            ASSERT_TRUE(ShowsDocument(document - 1));
            ASSERT_TRUE(setup->Press(L"同意 >"));
        }
    } else if (c.page == Page::Destination) {
        ASSERT_TRUE(setup->ToDestinationPage());
    }
    ASSERT_TRUE(Shows(c.page, c.document));
    if (c.closeBox)
        setup->CloseBox();
    else
        ASSERT_TRUE(setup->Press(c.page == Page::Licence ? L"同意しない" : L"キャンセル"));
    HWND box = CancelQuestion();
    ASSERT_NE(nullptr, box);
    if (c.shot != nullptr)
        driver::Screenshot(ShotPath(c.shot));
    ASSERT_TRUE(driver::Answer(box, c.answer));

    if (std::wstring(c.answer) == L"OK") {
        EXPECT_EQ(1602u, setup->WaitExit()); // cancelled by the user
        EXPECT_EQ(
            (std::vector<std::wstring> { L"license.txt", L"setup.exe", L"setup.txt" }), driver::Names(setup->Folder()));
        return;
    }
    EXPECT_EQ(STILL_ACTIVE, setup->WaitExit(500));
    EXPECT_TRUE(Shows(c.page, c.document));
    EXPECT_TRUE(setup->NoDialog());
    // The step is unchanged: the page's next button (Back on the destination
    // page) leads where it did.
    switch (c.page) {
    case Page::Welcome:
        ASSERT_TRUE(setup->Press(L"次へ >"));
        EXPECT_TRUE(ShowsDocument(0));
        break;
    case Page::Licence:
        ASSERT_TRUE(setup->Press(L"同意 >"));
        EXPECT_TRUE(c.document == 0 ? ShowsDocument(1) : ShowsPage(Page::Destination));
        break;
    default:
        ASSERT_TRUE(setup->Press(L"< 戻る"));
        EXPECT_TRUE(ShowsDocument(1));
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Wizard, CancelFlow, ::testing::ValuesIn(kCancelCases),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST_F(Wizard, MissingSetupTextShowsTheLastResortMessageOnly)
{
    ASSERT_TRUE(Launch(false, true));
    HWND box = setup->WaitWindow([](HWND h) { return ClassOf(h) == L"#32770"; });
    ASSERT_NE(nullptr, box);
    EXPECT_NE(nullptr, driver::ChildWithText(box, L"Catch the Expection! \n This Program is Closed", L"Static"));
    std::vector<std::wstring> buttons;
    for (HWND child : driver::Descendants(box))
        if (ClassOf(child) == L"Button" && driver::IsVisible(child))
            buttons.push_back(Text(child));
    EXPECT_EQ(std::vector<std::wstring> { L"OK" }, buttons);
    // Neither the backdrop nor the wizard came up.
    EXPECT_EQ(nullptr, setup->Find([](HWND h) { return ClassOf(h) == L"YnbForm"; }));
    driver::Screenshot(ShotPath(L"last-resort-message"));
    ASSERT_TRUE(driver::Answer(box, L"OK"));
    EXPECT_EQ(1603u, setup->WaitExit()); // failed
}

TEST_F(Wizard, MissingLicenseTextKeepsTheFirstDocumentAndItsStep)
{
    ASSERT_TRUE(Launch(true, false));
    ASSERT_TRUE(setup->Press(L"次へ >"));
    ASSERT_TRUE(ShowsDocument(0));
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(setup->Press(L"同意 >"));
        HWND box = setup->WaitWindow([](HWND h) { return ClassOf(h) == L"#32770"; });
        ASSERT_NE(nullptr, box) << "attempt " << attempt;
        EXPECT_NE(nullptr, driver::ChildWithText(box, L"ファイル license.txt は開けません", L"Static"));
        EXPECT_NE(nullptr, driver::ChildWithText(box, L"OK", L"Button"));
        if (attempt == 0)
            driver::Screenshot(ShotPath(L"file-open-error"));
        ASSERT_TRUE(driver::Answer(box, L"OK"));
        // Still the first document with its title: the step stayed 0.
        EXPECT_TRUE(ShowsDocument(0));
    }
    // So Back leads to the welcome page.
    ASSERT_TRUE(setup->Press(L"< 戻る"));
    EXPECT_TRUE(ShowsPage(Page::Welcome));
    EXPECT_TRUE(setup->NoDialog());
}

// Three environments register this case (see win-ui.cmake): the prefix as it
// is, one without "C:\Program Files" whose shell names another folder, and one
// whose shell names none.
TEST_F(Wizard, DefaultFolder)
{
    const char* expectedText = std::getenv("YNB_EXPECTED_DEFAULT_FOLDER");
    const std::string expected = expectedText != nullptr ? expectedText : "C:\\Program Files";
    ASSERT_TRUE(Launch());
    HWND edit = FolderEdit();
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(std::wstring(expected.begin(), expected.end()), Text(edit));
    HWND page = Frame(Page::Destination);
    EXPECT_TRUE(driver::Checked(driver::ChildWithText(page, driver::kDesktopOption, L"Button")));
    EXPECT_TRUE(driver::Checked(driver::ChildWithText(page, driver::kStartMenuOption, L"Button")));

    // The scope, offered where both may be written (Wine's token has every
    // right): the box follows it while it holds the other's default.
    HWND machine = driver::ChildWithText(page, L"すべてのユーザー", L"Button");
    HWND user = driver::ChildWithText(page, L"このユーザーだけ", L"Button");
    ASSERT_TRUE(machine != nullptr && user != nullptr);
    EXPECT_TRUE(driver::Checked(machine) && !driver::Checked(user) && IsWindowEnabled(user));
    const std::wstring programs = driver::UserProgramsFolder();
    ASSERT_TRUE(setup->ToDestinationPage());
    driver::Click(user);
    EXPECT_TRUE(driver::WaitFor([&] { return Text(edit) == programs; })) << sys::ToAnsi(Text(edit).c_str());
    EXPECT_TRUE(driver::Checked(user) && !driver::Checked(machine));
    driver::Screenshot(ShotPath(L"destination-current-user"));
    driver::Click(machine);
    EXPECT_TRUE(driver::WaitFor([&] { return Text(edit) == std::wstring(expected.begin(), expected.end()); }));
    driver::SetText(edit, L"D:\\Typed");
    driver::Click(user);
    EXPECT_TRUE(driver::WaitFor([&] { return driver::Checked(user); }));
    EXPECT_EQ(L"D:\\Typed", Text(edit)); // a folder the user typed stays
}

// A declined prompt for the machine's installation (YNB_TEST_TOKEN, see
// docs/WINE.md): the wizard's user is asked whether to install for this user
// alone; No ends with 1602, Yes opens the wizard for this user, the scope
// shown and fixed.
TEST_F(Wizard, ADeclinedPromptAsksForTheUsersOwnInstallation)
{
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", L"declined");
    const std::wstring question = L"すべてのユーザー向けのインストールには、管理者の権限が必要です。\n" + kProductName
        + L"をこのユーザーだけにインストールしますか？";
    for (const wchar_t* answer : { L"いいえ(&N)", L"はい(&Y)" }) {
        ASSERT_TRUE(Launch(true, true, YNB_SETUP_EXE, false, false));
        HWND box = setup->Message(question);
        ASSERT_NE(nullptr, box);
        if (answer[0] == L'は')
            driver::Screenshot(ShotPath(L"declined-elevation-question"));
        ASSERT_TRUE(driver::Answer(box, answer));
        if (answer[0] == L'い') {
            EXPECT_EQ(1602u, setup->WaitExit()); // cancelled
        }
    }
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", nullptr);
    wizard = setup->Wizard();
    ASSERT_TRUE(wizard != nullptr && setup->ToDestinationPage());
    HWND page = Frame(Page::Destination);
    HWND machine = driver::ChildWithText(page, L"すべてのユーザー", L"Button");
    HWND user = driver::ChildWithText(page, L"このユーザーだけ", L"Button");
    EXPECT_TRUE(driver::Checked(user) && !driver::Checked(machine));
    EXPECT_FALSE(IsWindowEnabled(user) || IsWindowEnabled(machine));
    const std::wstring programs = driver::UserProgramsFolder();
    EXPECT_EQ(programs, Text(FolderEdit()));
}

class FolderBrowser : public Wizard {
protected:
    bool OpenDestination() { return Launch() && setup->ToDestinationPage(); }

    HWND OpenDialog() { return setup->Press(L"フォルダ参照") ? setup->Dialog(L"ディレクトリの選択") : nullptr; }

    // The folder browser leaves the program's directory current: going back
    // to the first document reloads setup.txt by its relative name.
    void ExpectProgramDirectoryCurrent()
    {
        ASSERT_TRUE(setup->Press(L"< 戻る"));
        ASSERT_TRUE(ShowsDocument(1));
        ASSERT_TRUE(setup->Press(L"< 戻る"));
        EXPECT_TRUE(ShowsDocument(0));
        EXPECT_TRUE(setup->NoDialog()) << "a document could not be opened";
    }
};

TEST_F(FolderBrowser, ShowsEveryPartAndCancelKeepsTheText)
{
    ASSERT_TRUE(OpenDestination());
    const std::wstring before = Text(FolderEdit());
    HWND dialog = OpenDialog();
    ASSERT_NE(nullptr, dialog);
    for (const wchar_t* text :
        { L"ディレクトリ名(&N):", L"ディレクトリ(&D):", L"ファイル(&F): (*.*)", L"ドライブ(&R):" })
        EXPECT_NE(nullptr, driver::ChildWithText(dialog, text, L"Static"))
            << testing::PrintToString(std::wstring(text));
    for (const wchar_t* text : { L"ネットワーク(&N)...", L"OK", L"キャンセル" })
        EXPECT_NE(nullptr, driver::ChildWithText(dialog, text, L"Button"))
            << testing::PrintToString(std::wstring(text));
    int lists = 0;
    for (HWND child : driver::Descendants(dialog))
        lists += ClassOf(child) == L"ListBox";
    EXPECT_EQ(2, lists);
    EXPECT_NE(nullptr, driver::ChildOfClass(dialog, L"ComboBox"));
    EXPECT_EQ(nullptr, driver::ChildWithText(dialog, L"ヘルプ", L"Button"));
    driver::Screenshot(ShotPath(L"directory-dialog"));
    // The network button opens the system's connection dialog (if the
    // system has one) and comes back to this dialog.
    driver::Click(driver::ChildWithText(dialog, L"ネットワーク(&N)...", L"Button"));
    Sleep(1500);
    for (HWND other : setup->Windows())
        if (other != dialog && ClassOf(other) == L"#32770")
            PostMessageW(other, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(driver::WaitFor([&] { return IsWindowEnabled(dialog); }));
    driver::Click(driver::ChildWithText(dialog, L"キャンセル", L"Button"));
    ASSERT_TRUE(driver::WaitFor([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(before, Text(FolderEdit()));
    ExpectProgramDirectoryCurrent();
}

TEST_F(FolderBrowser, AcceptsAnExistingFolder)
{
    ASSERT_TRUE(OpenDestination());
    const std::wstring target = setup->Folder() + L"\\existing";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    HWND dialog = OpenDialog();
    ASSERT_NE(nullptr, dialog);
    driver::SetText(driver::ChildOfClass(dialog, L"Edit"), target);
    driver::Click(driver::ChildWithText(dialog, L"OK", L"Button"));
    ASSERT_TRUE(driver::WaitFor([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(target, Text(FolderEdit()));
    EXPECT_TRUE(setup->NoDialog());
    ExpectProgramDirectoryCurrent();
}

TEST_F(FolderBrowser, CreatesATypedNestedFolderOnlyAfterYes)
{
    ASSERT_TRUE(OpenDestination());
    const std::wstring parent = setup->Folder() + L"\\新しい";
    const std::wstring target = parent + L"\\表示\\家計簿";
    HWND dialog = OpenDialog();
    ASSERT_NE(nullptr, dialog);
    driver::SetText(driver::ChildOfClass(dialog, L"Edit"), target);
    driver::Click(driver::ChildWithText(dialog, L"OK", L"Button"));

    HWND question = setup->Dialog(L"確認");
    ASSERT_NE(nullptr, question);
    EXPECT_NE(
        nullptr, driver::ChildWithText(question, L"指定されたディレクトリが存在しません。作成しますか？", L"Static"));
    EXPECT_NE(nullptr, driver::ChildWithText(question, L"はい(&Y)", L"Button"));
    driver::Screenshot(ShotPath(L"create-question"));
    ASSERT_TRUE(driver::Answer(question, L"いいえ(&N)"));
    EXPECT_TRUE(IsWindow(dialog) && driver::IsVisible(dialog)) << "No must keep the dialog open";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(parent.c_str()));

    driver::Click(driver::ChildWithText(dialog, L"OK", L"Button"));
    ASSERT_NE(nullptr, question = setup->Dialog(L"確認"));
    ASSERT_TRUE(driver::Answer(question, L"はい(&Y)"));
    ASSERT_TRUE(driver::WaitFor([&] { return !IsWindow(dialog); }));
    const DWORD attributes = GetFileAttributesW(target.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(target, Text(FolderEdit()));
    ExpectProgramDirectoryCurrent();
}

TEST_F(Wizard, BackThenAgreeKeepsTheDestinationPageAsLeft)
{
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(setup->ToDestinationPage());
    HWND page = Frame(Page::Destination);
    HWND desktop = driver::ChildWithText(page, driver::kDesktopOption, L"Button");
    HWND startMenu = driver::ChildWithText(page, driver::kStartMenuOption, L"Button");
    driver::SetText(FolderEdit(), L"D:\\Typed\\Folder");
    driver::Click(desktop);
    ASSERT_TRUE(driver::WaitFor([&] { return !driver::Checked(desktop); }));
    ASSERT_TRUE(setup->Press(L"< 戻る"));
    ASSERT_TRUE(ShowsDocument(1));
    ASSERT_TRUE(setup->Press(L"同意 >"));
    ASSERT_TRUE(ShowsPage(Page::Destination));
    EXPECT_EQ(L"D:\\Typed\\Folder", Text(FolderEdit()));
    EXPECT_FALSE(driver::Checked(desktop));
    EXPECT_TRUE(driver::Checked(startMenu));
}

// Positions and sizes in pixels at 96 dpi, as designed.
struct Box {
    int left, top, width, height;
};

::testing::AssertionResult At(HWND hwnd, HWND reference, Box box)
{
    if (hwnd == nullptr)
        return ::testing::AssertionFailure() << "control not found";
    const RECT r = RectIn(hwnd, reference);
    const bool same
        = r.left == box.left && r.top == box.top && r.bottom - r.top == box.height && r.right - r.left == box.width;
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at " << r.left << "," << r.top << " size " << r.right - r.left << "x"
                                         << r.bottom - r.top << ", designed " << box.left << "," << box.top << " size "
                                         << box.width << "x" << box.height << " (" << testing::PrintToString(Text(hwnd))
                                         << ")";
}

// The size a caption takes in a label that follows it: the width of one line,
// or with a fixed width, the height of its wrapped lines.
SIZE CaptionSize(const std::wstring& text, int height, bool bold, int wrapWidth = 0)
{
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック");
    HGDIOBJ old = SelectObject(dc, font);
    RECT r { 0, 0, wrapWidth, 0 };
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
        DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return { r.right - r.left, r.bottom - r.top };
}

// A title: left and top as designed, the height of the title font, the width
// its caption takes.
::testing::AssertionResult SizedLabelAt(HWND frame, const std::wstring& caption, int left, int top, int height)
{
    HWND label = driver::ChildWithText(frame, caption, L"Static");
    return At(label, frame, { left, top, CaptionSize(caption, height == 13 ? 13 : 12, height == 13).cx, height });
}

HWND Picture(HWND frame, DWORD type)
{
    for (HWND child : driver::Descendants(frame))
        if (ClassOf(child) == L"Static" && (StyleOf(child) & SS_TYPEMASK) == type)
            return child;
    return nullptr;
}

HWND Separator(HWND frame)
{
    return driver::ChildOfClass(frame, L"Static", SS_SUNKEN);
}

TEST_F(Wizard, LayoutAsDesigned)
{
    ASSERT_EQ(96, [] {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return dpi;
    }());
    ASSERT_TRUE(Launch());
    RECT client {};
    GetClientRect(wizard, &client);
    EXPECT_EQ(495, client.right);
    EXPECT_EQ(304, client.bottom);

    HWND welcome = Frame(Page::Welcome), licence = Frame(Page::Licence);
    HWND destination = Frame(Page::Destination), completion = Frame(Page::Completion);
    EXPECT_TRUE(At(welcome, wizard, { -8, 3, 500, 300 }));
    EXPECT_TRUE(At(licence, wizard, { -8, 3, 500, 300 }));
    EXPECT_TRUE(At(destination, wizard, { -8, 3, 500, 300 }));
    EXPECT_TRUE(At(completion, wizard, { -8, 0, 500, 300 }));

    for (HWND page : { welcome, licence, destination, completion }) {
        SCOPED_TRACE(PageName(KindOf(page)));
        EXPECT_TRUE(At(Picture(page, SS_BITMAP), page, { 8, 8, 125, 246 }));
        EXPECT_TRUE(At(Picture(page, SS_ICON), page, { 144, 12, 32, 32 }));
        EXPECT_TRUE(At(Separator(page), page, { page == welcome ? 12 : 8, 256, 478, 3 }));
    }
    auto control = [](HWND page, const wchar_t* text, const wchar_t* cls = nullptr) {
        return driver::ChildWithText(page, text, cls);
    };
    // Labels sized to their captions: designed 120, 124, 178, 207 and 112
    // wide in the design's font; here as wide as this system's font makes them.
    EXPECT_TRUE(SizedLabelAt(welcome, kProductName + L"のセットアップ", 184, 22, 13));
    EXPECT_TRUE(At(control(welcome, L"アプリケーションのセットアップを開始します。"), welcome, { 152, 112, 313, 73 }));
    EXPECT_TRUE(At(control(welcome, L"次へ >"), welcome, { 312, 278, 80, 20 }));
    EXPECT_TRUE(At(control(welcome, L"キャンセル"), welcome, { 408, 278, 80, 20 }));

    EXPECT_TRUE(SizedLabelAt(licence, L"ソフトウェア使用許諾", 184, 22, 13));
    EXPECT_TRUE(At(control(licence, L"< 戻る"), licence, { 232, 278, 80, 20 }));
    EXPECT_TRUE(At(control(licence, L"同意 >"), licence, { 312, 278, 80, 20 }));
    EXPECT_TRUE(At(control(licence, L"同意しない"), licence, { 408, 278, 80, 20 }));
    EXPECT_TRUE(At(Memo(), licence, { 168, 72, 297, 153 }));
    EXPECT_TRUE(StyleOf(Memo()) & ES_READONLY);
    EXPECT_TRUE(StyleOf(Memo()) & WS_VSCROLL);
    EXPECT_FALSE(StyleOf(Memo()) & (ES_AUTOHSCROLL | WS_HSCROLL)) << "lines must wrap";

    EXPECT_TRUE(SizedLabelAt(destination, L"インストール先フォルダの指定", 184, 22, 13));
    EXPECT_TRUE(SizedLabelAt(destination, L"以下のディレクトリにインストールします。", 152, 104, 12));
    EXPECT_TRUE(At(control(destination, L"< 戻る"), destination, { 232, 278, 80, 20 }));
    EXPECT_TRUE(At(control(destination, L"開始 >"), destination, { 312, 278, 80, 20 }));
    EXPECT_TRUE(At(control(destination, L"キャンセル"), destination, { 408, 278, 80, 20 }));
    EXPECT_TRUE(At(FolderEdit(), destination, { 152, 120, 257, 20 }));
    EXPECT_TRUE(At(control(destination, driver::kDesktopOption), destination, { 156, 158, 193, 26 }));
    EXPECT_TRUE(At(control(destination, driver::kStartMenuOption), destination, { 156, 182, 197, 26 }));
    EXPECT_TRUE(At(control(destination, L"フォルダ参照"), destination, { 414, 119, 75, 22 }));

    EXPECT_TRUE(SizedLabelAt(completion, L"セットアップの完了", 184, 22, 13));
    // Wrapping at its designed width: the height follows the lines.
    const std::wstring done = L"アプリケーションのセットアップが完了しました。";
    EXPECT_TRUE(At(control(completion, done.c_str()), completion,
        { 152, 112, 238, std::max<int>(12, CaptionSize(done, 12, false, 238).cy) }));
    EXPECT_TRUE(At(control(completion, L"終了"), completion, { 408, 278, 80, 20 }));

    // No button is a default button.
    for (HWND page : { welcome, licence, destination, completion })
        for (HWND child : driver::Descendants(page))
            if (ClassOf(child) == L"Button") {
                EXPECT_NE(BS_DEFPUSHBUTTON, StyleOf(child) & BS_TYPEMASK) << testing::PrintToString(Text(child));
            }

    HWND backdrop = setup->Backdrop();
    ASSERT_NE(nullptr, backdrop);
    const auto labels = driver::Children(backdrop);
    ASSERT_EQ(2u, labels.size());
    EXPECT_TRUE(At(labels[0], backdrop, { 8, 8, 681, 32 }));
    EXPECT_TRUE(At(labels[1], backdrop, { 6, 6, 1500, 32 }));

    HWND progress = FindWindowW(L"YnbForm", L"インストール");
    ASSERT_NE(nullptr, progress);
    GetClientRect(progress, &client);
    EXPECT_EQ(320, client.right);
    EXPECT_EQ(80, client.bottom);
    EXPECT_FALSE(StyleOf(progress) & WS_SYSMENU);
    EXPECT_TRUE(At(driver::ChildWithText(progress, L"インストール中..."), progress, { 32, 16, 272, 12 }));
    HWND bar = driver::ChildOfClass(progress, L"msctls_progress32");
    ASSERT_NE(nullptr, bar);
    EXPECT_TRUE(At(bar, progress, { 16, 36, 288, 14 }));
}

TEST_F(Wizard, DestinationTabOrder)
{
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(setup->ToDestinationPage());
    HWND page = Frame(Page::Destination);
    const std::vector<HWND> expected {
        driver::ChildWithText(page, L"< 戻る"), driver::ChildWithText(page, L"開始 >"),
        driver::ChildWithText(page, L"キャンセル"), FolderEdit(), driver::ChildWithText(page, driver::kDesktopOption),
        driver::ChildWithText(page, driver::kStartMenuOption), driver::ChildWithText(page, L"フォルダ参照"),
        driver::ChildWithText(page, L"すべてのユーザー"), // of the two scopes, the one chosen
    };
    std::vector<HWND> order { expected[0] };
    for (std::size_t i = 1; i < expected.size() + 1; ++i)
        order.push_back(GetNextDlgTabItem(wizard, order.back(), FALSE));
    EXPECT_EQ(expected[0], order.back()) << "Tab from the last control returns to the first";
    order.pop_back();
    EXPECT_EQ(expected, order);
}

TEST_F(Wizard, KeyboardPressesOnlyTheFocusedButton)
{
    ASSERT_TRUE(Launch());
    // The first control in tab order has the focus: Next.
    HWND next = PageButton(L"次へ >");
    ASSERT_TRUE(driver::WaitFor([&] { return setup->Focus() == next; }));
    // Esc presses nothing, and there is no default button for Enter elsewhere.
    PostMessageW(next, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(next, WM_KEYUP, VK_ESCAPE, 0);
    Sleep(500);
    EXPECT_TRUE(setup->NoDialog());
    EXPECT_EQ(Page::Welcome, CurrentPage());
    // Tab moves to Cancel, Shift is not down.
    PostMessageW(next, WM_KEYDOWN, VK_TAB, 0);
    HWND cancel = PageButton(L"キャンセル");
    ASSERT_TRUE(driver::WaitFor([&] { return setup->Focus() == cancel; }));
    PostMessageW(cancel, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(driver::WaitFor([&] { return setup->Focus() == next; }));
    // Enter presses the focused button.
    PostMessageW(next, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(ShowsDocument(0));
}

// The installation runs in a Wine root of its own (win.ui.Completion), which
// sets YNB_UI_INSTALL; elsewhere these cases are skipped.
class Completion : public Wizard {
protected:
    // The program's top-level window captioned "インストール", visible or not,
    // its caption read from the window itself rather than asked for.
    HWND HiddenProgressWindow() const
    {
        std::vector<HWND> all;
        EnumWindows(driver::CollectWindow, reinterpret_cast<LPARAM>(&all));
        for (HWND hwnd : all) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            wchar_t caption[32] = {};
            if (pid == setup->Id() && ClassOf(hwnd) == L"YnbForm" && InternalGetWindowText(hwnd, caption, 32) > 0
                && std::wstring(caption) == L"インストール")
                return hwnd;
        }
        return nullptr;
    }

    void SetUp() override
    {
        if (std::getenv("YNB_UI_INSTALL") == nullptr)
            GTEST_SKIP() << "runs in the installation's own Wine root";
        // An earlier case's installation: each case installs the product anew.
        driver::RemoveKey(HKEY_LOCAL_MACHINE, kUninstallKey);
        driver::RemoveJournals();
    }

    static constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hanamaru";

    void Install()
    {
        ASSERT_TRUE(Launch(true, true, YNB_SETUP_EXE, true));
        ASSERT_TRUE(setup->ToDestinationPage());
        const std::wstring base = setup->Folder() + L"\\base";
        ASSERT_TRUE(setup->SetFolderText(base));
        HWND back = PageButton(L"< 戻る");
        // The progress window exists, hidden, from the start.
        HWND progress = HiddenProgressWindow();
        ASSERT_NE(nullptr, progress);
        ASSERT_FALSE(driver::IsVisible(progress));
        ASSERT_TRUE(setup->Press(L"開始 >"));
        // The progress window is up while the manifest is worked through, the
        // page's buttons are disabled, and the windows keep answering, but
        // none of them closes: no question comes, the installation goes on.
        ASSERT_TRUE(driver::WaitFor([&] { return driver::IsVisible(progress); }, 5000));
        EXPECT_FALSE(IsWindowEnabled(back));
        DWORD_PTR answered = 0;
        EXPECT_NE(0, SendMessageTimeoutW(progress, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &answered));
        driver::Screenshot(ShotPath(L"progress"), 300);
        setup->CloseBox();
        PostMessageW(setup->Backdrop(), WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD_PTR ending = TRUE;
        EXPECT_NE(0, SendMessageTimeoutW(setup->Wizard(), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 2000, &ending));
        EXPECT_EQ(FALSE, static_cast<BOOL>(ending)) << "the session may end in the middle of the installation";
        ASSERT_TRUE(ShowsPage(Page::Completion)) << "the installation did not complete";
        EXPECT_FALSE(driver::IsVisible(progress));
        EXPECT_TRUE(setup->NoDialog());
        EXPECT_NE(nullptr, setup->Backdrop(1000)) << "the backdrop closed during the installation";
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(base.c_str()));
    }
};

TEST_F(Completion, FinishEndsWithoutAQuestion)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    driver::Screenshot(ShotPath(L"completion"));
    // The close box still asks.
    setup->CloseBox();
    HWND box = CancelQuestion();
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(driver::Answer(box, L"キャンセル"));
    EXPECT_TRUE(ShowsPage(Page::Completion));
    EXPECT_EQ(0u, setup->Finish());
}

// Set up again, an installed product keeps its folder: the destination page
// shows it, does not let it change, and says why.
TEST_F(Completion, AnInstalledProductKeepsItsFolder)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    const std::wstring base = setup->Folder() + L"\\base";
    ASSERT_EQ(0u, setup->Finish());
    // From a folder of its own: the first one holds the installation.
    const std::wstring again = setup->Folder() + L"-again";
    setup = std::make_unique<driver::Setup>(
        driver::HostPath(YNB_SETUP_EXE), driver::HostPath(YNB_DOCUMENTS), again, true, true);
    ASSERT_TRUE(setup->Start(driver::HostPath(YNB_UI_DIST) + L"\\data00.dat"));
    wizard = setup->Wizard();
    ASSERT_TRUE(wizard != nullptr && ShowsPage(Page::Welcome));
    ASSERT_TRUE(setup->ToDestinationPage());
    HWND edit = driver::ChildOfClass(PageWindow(), L"Edit");
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(base, driver::Text(edit));
    EXPECT_FALSE(IsWindowEnabled(edit));
    EXPECT_FALSE(IsWindowEnabled(PageButton(L"フォルダ参照")));
    HWND why = driver::ChildWithText(PageWindow(),
        L"この製品はこのフォルダーにインストールされています。\nインストール先は変更できません。", L"Static");
    ASSERT_NE(nullptr, why);
    EXPECT_TRUE(driver::IsVisible(why));
    driver::Screenshot(ShotPath(L"destination-installed"));
    // A text forced into the disabled box changes nothing: Start installs
    // into the installed folder. Its program held open, the wizard names the
    // file (Wine's Restart Manager names no program and closes none), and
    // installs once the user has closed it and retries.
    ASSERT_TRUE(setup->SetFolderText(setup->Folder() + L"\\elsewhere"));
    const std::wstring program = base + L"\\Hanamaru\\kakeibo.exe";
    HANDLE holder = CreateFileW(program.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_TRUE(setup->Press(L"開始 >"));
    const std::wstring held = L"次のファイルがほかのプログラムで使用されているため、置き換えられません。\n\n" + program
        + L"\n\n「閉じる」で、これらのファイルを使っているプログラムに終了を求めてから続けます。"
          L"ご自分で閉じた場合は「再試行」を押してください。";
    HWND box = setup->Message(held);
    ASSERT_NE(nullptr, box);
    driver::Screenshot(ShotPath(L"files-in-use"));
    ASSERT_TRUE(driver::Answer(box, L"閉じる"));
    box = setup->Message(L"プログラムを閉じることができませんでした。\n\n" + held);
    ASSERT_NE(nullptr, box);
    CloseHandle(holder);
    ASSERT_TRUE(driver::Answer(box, L"再試行"));
    ASSERT_TRUE(ShowsPage(Page::Completion));
    EXPECT_FALSE(driver::Exists(setup->Folder() + L"\\elsewhere"));
    EXPECT_EQ(0u, setup->Finish());
}

TEST_F(Completion, CloseBoxAnsweredOkEnds)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    setup->CloseBox();
    HWND box = CancelQuestion();
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(driver::Answer(box, L"OK"));
    EXPECT_EQ(0u, setup->WaitExit()); // the installation is done: leaving its page cancels nothing
}

} // namespace
