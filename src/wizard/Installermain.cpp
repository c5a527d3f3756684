#include "wizard/Installermain.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "app/Installerback.h"
#include "package/ClsYnb.h"
#include "sys/Text.h"
#include "sys/Win32.h"
#include "ui/Dialogs.h"

TForm2* Form2 = nullptr;

namespace {

constexpr ui::FormSpec kForm2 {
    .caption = L"Form2",
    .border = ui::Border::Single,
    .state = ui::WindowState::Normal,
    .position = ui::Position::ScreenCenter,
    .left = 241,
    .top = 121,
    .clientWidth = 495,
    .clientHeight = 304,
    .color = ui::kButtonFace,
    .font = { .height = 12, .color = ui::kWindowText },
};

constexpr wchar_t kCancelQuestion[] = L"セットアップをキャンセルします。\nよろしいですか？";

} // namespace

TForm2::TForm2()
    : ui::Form(kForm2)
{
    // The pages get the window being built from their constructors; Form2
    // holds it once it is whole, for their handlers.
    TFrame41 = AdoptFrame(std::make_unique<TFrame4>(*this));
    TFrame31 = AdoptFrame(std::make_unique<TFrame3>(*this));
    TFrame21 = AdoptFrame(std::make_unique<TFrame2>(*this));
    TFrame11 = AdoptFrame(std::make_unique<TFrame1>(*this));
    TFrame41->Hide();
    TFrame31->Hide();
    TFrame21->Hide();

    Ynb = std::make_unique<ClsYnb>();
    SetupFinished = false;
    ProgramDir = sys::CurrentDirectory();
    (void)Ynb->LoadSetupText(Record); // a product without one has empty texts

    const std::wstring caption = sys::FromShiftJis(Record.ProductName) + L"のセットアップ";
    SetCaption(caption);
    TFrame11->Label1->SetText(caption);

    OnShow = [this] { FormShow(); };
    OnActivate = [this] { FormActivate(); };
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
    OnClose = [this] { FormClose(); };
    Form2 = this;
}

TForm2::~TForm2()
{
    if (Form2 == this)
        Form2 = nullptr;
}

void TForm2::FormShow()
{
    const std::wstring name = sys::FromShiftJis(Record.ProductName);
    if (Form1 != nullptr) {
        Form1->SetCaption(name + L"セットアップ");
        Form1->Label1->SetText(name);
        Form1->Label2->SetText(name);
        Form1->Show();
        Form1->Repaint();
    }
    Repaint();
}

void TForm2::FormActivate()
{
    Repaint();
}

void TForm2::FormCloseQuery(bool& canClose)
{
    if (SetupFinished)
        return;
    canClose = ui::Confirm(kCancelQuestion);
}

void TForm2::FormClose()
{
    if (Form1 != nullptr)
        Form1->Close();
    Ynb.reset();
}

void TForm2::TFrame11Button2Click()
{
    TFrame11->Button2Click();
}

int TForm2::ChangeAgreementPage(int step)
{
    switch (step) {
    case -1:
        TFrame21->Hide();
        TFrame11->Show();
        return 0;
    case 0:
        TFrame21->LoadDocument("setup.txt");
        TFrame21->Label1->SetText(L"ソフトウェア使用許諾");
        return 0;
    case 1:
        TFrame21->LoadDocument("license.txt");
        TFrame21->Label1->SetText(L"シェアウェアパッケージ使用許諾");
        return 1;
    case 2:
        TFrame21->Hide();
        TFrame31->Show();
        return 1;
    default:
        return step;
    }
}

void TForm2::SetFinished()
{
    SetupFinished = true;
    ExitCode = config::kExitSuccess;
}

void TForm2::CloseWizard()
{
    Close();
}
