#include "wizard/Inst_form3.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/Progress.h"
#include "install/InstallEngine.h"
#include "install/LoggedSink.h"
#include "sys/ClsFile.h"
#include "sys/Text.h"
#include "ui/Dialogs.h"
#include "wizard/Installermain.h"
#include "wizard/Layouts.h"

namespace {

using namespace wizard;

constexpr ui::FrameSpec kFrame { .left = -8, .top = 3, .width = kPageWidth, .height = kPageHeight, .tabOrder = 1 };

constexpr ui::ControlSpec kLayout[] = {
    Image1At(8, 8),
    Image2At(144, 12),
    TitleAt(184, 22, 178, L"インストール先フォルダの指定"),
    { .kind = ui::Kind::Label,
        .name = "Label2",
        .left = 152,
        .top = 104,
        .width = 207,
        .height = 12,
        .caption = L"以下のディレクトリにインストールします。",
        .flags = ui::kAutoSize },
    SeparatorAt(8, 256),
    ButtonAt("Button1", 232, L"< 戻る", 1),
    ButtonAt("Button2", 312, L"開始 >", 2),
    ButtonAt("Button3", 408, L"キャンセル", 3),
    { .kind = ui::Kind::Edit,
        .name = "Edit1",
        .left = 152,
        .top = 120,
        .width = 257,
        .height = 20,
        .caption = L"c:\\",
        .tabOrder = 4 },
    { .kind = ui::Kind::CheckBox,
        .name = "CheckBox1",
        .left = 156,
        .top = 158,
        .width = 193,
        .height = 26,
        .caption = L"ﾃﾞｽｸﾄｯﾌﾟにショートカット作成",
        .tabOrder = 5 },
    { .kind = ui::Kind::CheckBox,
        .name = "CheckBox2",
        .left = 156,
        .top = 182,
        .width = 197,
        .height = 26,
        .caption = L"スタートメニューに登録",
        .tabOrder = 6 },
    { .kind = ui::Kind::Button,
        .name = "Button4",
        .left = 414,
        .top = 119,
        .width = 75,
        .height = 22,
        .caption = L"フォルダ参照",
        .tabOrder = 7 },
    // For whom: beside the options, the machine's (every user) or the
    // current user's alone.
    { .kind = ui::Kind::Label,
        .name = "Label4",
        .left = 360,
        .top = 146,
        .width = 130,
        .height = 12,
        .caption = L"インストールの対象:" },
    { .kind = ui::Kind::RadioButton,
        .name = "RadioButton1",
        .left = 364,
        .top = 158,
        .width = 126,
        .height = 26,
        .caption = L"すべてのユーザー",
        .tabOrder = 8 },
    { .kind = ui::Kind::RadioButton,
        .name = "RadioButton2",
        .left = 364,
        .top = 182,
        .width = 126,
        .height = 26,
        .caption = L"このユーザーだけ",
        .tabOrder = 9 },
    // Shown for a product that is installed already: why the folder is fixed.
    { .kind = ui::Kind::Label,
        .name = "Label3",
        .left = 152,
        .top = 212,
        .width = 330,
        .height = 28,
        .caption = L"この製品はこのフォルダーにインストールされています。\nインストール先は変更できません。",
        .flags = ui::kWordWrap | ui::kHidden },
};

constexpr wchar_t kSetupFailed[] = L"セットアップに失敗しました。";
constexpr wchar_t kCopyFailed[] = L"へのコピーに失敗しました。";
constexpr wchar_t kDiskFull[] = L"インストール先のディスクがいっぱいです。";

} // namespace

TFrame3::TFrame3(TForm2& wizard)
    : ui::Frame(wizard, kFrame, kLayout)
    , Image1(Find<ui::Image>("Image1"))
    , Image2(Find<ui::Image>("Image2"))
    , Label1(Find<ui::Label>("Label1"))
    , Label2(Find<ui::Label>("Label2"))
    , Panel1(Find<ui::Panel>("Panel1"))
    , Button1(Find<ui::Button>("Button1"))
    , Button2(Find<ui::Button>("Button2"))
    , Button3(Find<ui::Button>("Button3"))
    , Edit1(Find<ui::Edit>("Edit1"))
    , CheckBox1(Find<ui::CheckBox>("CheckBox1"))
    , CheckBox2(Find<ui::CheckBox>("CheckBox2"))
    , Button4(Find<ui::Button>("Button4"))
    , Label3(Find<ui::Label>("Label3"))
    , Label4(Find<ui::Label>("Label4"))
    , RadioButton1(Find<ui::RadioButton>("RadioButton1"))
    , RadioButton2(Find<ui::RadioButton>("RadioButton2"))
{
    RadioButton1->OnClick = [this] { ChooseScope(install::Scope::Machine); };
    RadioButton2->OnClick = [this] { ChooseScope(install::Scope::User); };
    Button1->OnClick = [this] { Button1Click(); };
    Button2->OnClick = [this] { Button2Click(); };
    Button3->OnClick = [this] { Button3Click(); };
    Button4->OnClick = [this] { Button4Click(); };

    char* folder = wizard.Record.DefaultFolder;
    install::DefaultBaseFolder(folder);
    Edit1->SetText(folder);
    CheckBox1->SetChecked(true);
    CheckBox2->SetChecked(true);
    RadioButton1->SetChecked(true);
}

void TFrame3::SetScope(install::Scope scope, bool choice)
{
    ChooseScope(scope);
    RadioButton1->SetEnabled(choice);
    RadioButton2->SetEnabled(choice);
}

// The folder box follows the scope while it holds the other scope's default:
// a folder the user typed stays.
void TFrame3::ChooseScope(install::Scope scope)
{
    char before[sys::kPathSize] = {};
    char after[sys::kPathSize] = {};
    install::DefaultBaseFolder(before, scope_);
    install::DefaultBaseFolder(after, scope);
    if (keptFolder_.empty() && Edit1->Text() == before)
        Edit1->SetText(after);
    scope_ = scope;
    RadioButton1->SetChecked(scope == install::Scope::Machine);
    RadioButton2->SetChecked(scope == install::Scope::User);
}

void TFrame3::KeepInstalledFolder(const std::string& baseFolder)
{
    keptFolder_ = baseFolder;
    Edit1->SetText(baseFolder);
    Edit1->SetEnabled(false);
    Button4->SetEnabled(false);
    Label3->SetVisible(true);
}

void TFrame3::Button1Click()
{
    Form2->TFrame31->Hide();
    Form2->TFrame21->Show();
}

void TFrame3::EnableButtons(bool enabled)
{
    Button1->SetEnabled(enabled);
    Button2->SetEnabled(enabled);
    Button3->SetEnabled(enabled);
}

// Start: the installation runs with the progress window shown; its messages
// are the wizard's message boxes, and its outcome decides the page.
void TFrame3::Button2Click()
{
    EnableButtons(false);
    Form3->SetProgress(0, 0, std::string());
    Form3->Show();
    ui::Application::ProcessMessages();
    // The windows keep answering while the installation works, but take no
    // input and do not close until it is over.
    Form2->SetEnabled(false);
    ui::Application::SetBusy(true);

    install::InstallSink sink;
    sink.progress = [](const install::Progress& progress) {
        if (progress.phase == install::Phase::Checking || progress.phase == install::Phase::Unpacking
            || progress.phase == install::Phase::Placing)
            Form3->SetProgress(progress.done, progress.total, progress.item);
    };
    sink.copyFailed = [](const install::CopyFailure& failure) {
        ui::ShowMessage(sys::FromAnsi(failure.target.c_str()) + kCopyFailed);
    };
    // The wizard asks before it closes; when the user stays, the page is
    // handed back, so that the cause can be mended and Start pressed again.
    sink.setupFailed = [](const install::InstallFailure& failure) {
        ui::Application::SetBusy(false);
        Form2->SetEnabled(true);
        std::wstring text = std::wstring(kSetupFailed);
        if (failure.step == install::InstallStep::DiskFull)
            text = std::wstring(kDiskFull) + L"\n" + kSetupFailed;
        else if (failure.step == install::InstallStep::InUse)
            text = L"次のファイルは使用中のため置き換えられません。\n" + sys::FromAnsi(failure.path.c_str())
                + L"\n\nこのファイルを使っているプログラムを終了してから、もう一度お試しください。\n" + kSetupFailed;
        else if (failure.step == install::InstallStep::Scope)
            text = L"この製品は Windows フォルダーにファイルを置くため、このユーザーだけにはインストールできません。\n"
                   L"すべてのユーザー向けにインストールしてください。\n"
                + sys::FromAnsi(failure.path.c_str());
        else if (failure.step == install::InstallStep::Unprotected)
            text = L"次のフォルダーまたはファイルは管理者以外のユーザーも変更できるため、すべてのユーザー向けの"
                   L"インストールには使えません。\n"
                + sys::FromAnsi(failure.path.c_str())
                + L"\n\n別のフォルダーを選ぶか、管理者に削除してもらってから、もう一度お試しください。\n"
                + kSetupFailed;
        else if (failure.step == install::InstallStep::FilesInUse)
            text = L"ファイルが使用中のため、セットアップを中止しました。";
        else if (failure.step == install::InstallStep::Entry)
            text = L"プログラムの一覧に登録できませんでした。何も変更していません。\n" + std::wstring(kSetupFailed);
        else if (failure.step == install::InstallStep::Log)
            text = L"アンインストール情報（instdir.dat）を書き込めませんでした。何も変更していません。\n"
                + sys::FromAnsi(failure.path.c_str()) + L"\n" + kSetupFailed;
        else if (failure.step == install::InstallStep::Transaction || failure.step == install::InstallStep::Restart)
            text = L"セットアップの記録を書き込めませんでした。何も変更していません。\n"
                + sys::FromAnsi(failure.path.c_str()) + L"\n" + kSetupFailed;
        else if (failure.step == install::InstallStep::RestartPending)
            text = L"Windows が再起動の後に行う処理が、次のファイルに残っています。\n"
                + sys::FromAnsi(failure.path.c_str())
                + L"\n\nWindows を再起動してから、もう一度セットアップしてください。";
        else if (failure.step == install::InstallStep::Space)
            text = L"ドライブ " + sys::FromAnsi(failure.volume.c_str()) + L" の空き領域が足りません。\n必要な領域: "
                + sys::FromAnsi(install::Megabytes(failure.needed).c_str()) + L"\n空き領域: "
                + sys::FromAnsi(install::Megabytes(failure.available).c_str()) + L"\n" + kSetupFailed;
        if (!failure.overwritten.empty()) {
            text += L"\n\n次のファイルは上書きされたまま残っています。";
            for (const std::string& file : failure.overwritten)
                text += L"\n" + sys::FromAnsi(file.c_str());
        }
        ui::ShowMessage(text);
        Form2->ExitCode = install::FailureExitCode(failure);
        Form2->CloseWizard();
        if (!Form2->Visible())
            return true;
        Form2->ExitCode = config::kExitCancelled; // the user stays: what follows decides
        return false;
    };
    sink.filesInUse
        = [](const std::vector<std::string>& files, const std::vector<std::wstring>& programs, bool closeTried) {
              return ui::FilesInUseQuestion(files, programs, closeTried, false, ui::ApplicationTitle());
          };
    sink.pump = [] { ui::Application::ProcessMessages(); };
    sink.pause = [](uint32_t milliseconds) { ui::Application::Wait(milliseconds); };
    // The folder of an installed product, whatever the disabled box holds.
    const install::ProductValues product = install::BuiltProduct(Form2->Record);
    const install::InstallRequest request { .product = product,
        .folderText = keptFolder_.empty() ? Edit1->Text() : keptFolder_,
        .desktopShortcut = CheckBox1->Checked(),
        .startMenuEntry = CheckBox2->Checked(),
        .programDir = Form2->ProgramDir,
        .scope = scope_ };
    const install::InstallOutcome outcome
        = install::RunInstallation(request, Form2->Log != nullptr ? install::LoggedSink(sink, *Form2->Log) : sink);
    ui::Application::SetBusy(false);
    Form2->SetEnabled(true);
    if (!outcome.succeeded) {
        if (outcome.ending)
            return; // closing: the program ends
        Form3->Close();
        EnableButtons(true);
        return;
    }
    // Installed: however the user leaves the completion page, nothing is
    // cancelled any more. The record keeps what was chosen, and the log's
    // folder is current from here on.
    SetupRecord& record = Form2->Record;
    (void)snprintf(record.BaseFolder, sizeof record.BaseFolder, "%s", outcome.baseFolder.c_str());
    record.DesktopShortcut = request.desktopShortcut ? 1 : 0;
    record.StartMenuEntry = request.startMenuEntry ? 1 : 0;
    (void)SetCurrentDirectoryA(outcome.logFolder.c_str());
    Form2->ExitCode = config::kExitSuccess;
    Form3->Close();
    ui::Application::ProcessMessages();
    Hide();
    if (outcome.repair)
        Form2->TFrame41->ShowRepair(outcome.written, outcome.kept);
    Form2->TFrame41->Show();
    EnableButtons(true);
}

void TFrame3::Button3Click()
{
    Form2->CloseWizard();
}

void TFrame3::Button4Click()
{
    std::string folder = Edit1->Text();
    // A text that names no existing directory leaves the current one as it is.
    (void)SetCurrentDirectoryA(folder.c_str());
    const bool chosen = ui::SelectDirectory(folder);
    // Whatever the dialog left current, the documents and the payload are
    // found relative to the program's directory.
    (void)SetCurrentDirectoryA(Form2->ProgramDir.c_str());
    if (chosen)
        Edit1->SetText(folder);
}
