#include "wizard/Inst_form2.h"

#include "package/EmbeddedParts.h"
#include "ui/Error.h"
#include "wizard/Installermain.h"
#include "wizard/Layouts.h"

int AgreementStep = 0;

namespace {

using namespace wizard;

constexpr ui::FrameSpec kFrame { .left = -8, .top = 3, .width = kPageWidth, .height = kPageHeight, .tabOrder = 2 };

constexpr ui::ControlSpec kLayout[] = {
    Image2At(144, 12),
    TitleAt(184, 22, 124, L"ソフトウェア使用許諾"),
    Image1At(8, 8),
    SeparatorAt(8, 256),
    ButtonAt("Button1", 232, L"< 戻る", 1),
    ButtonAt("Button2", 312, L"同意 >", 2),
    ButtonAt("Button3", 408, L"同意しない", 3),
    { .kind = ui::Kind::Memo,
        .name = "Memo1",
        .left = 168,
        .top = 72,
        .width = 297,
        .height = 153,
        .caption = L"Memo1",
        .font = &kMemoFont,
        .flags = ui::kReadOnly | ui::kVScroll,
        .tabOrder = 4,
        .color = ui::kMenuColor },
};

} // namespace

TFrame2::TFrame2(TForm2& wizard)
    : ui::Frame(wizard, kFrame, kLayout)
    , Image2(Find<ui::Image>("Image2"))
    , Label1(Find<ui::Label>("Label1"))
    , Image1(Find<ui::Image>("Image1"))
    , Panel1(Find<ui::Panel>("Panel1"))
    , Button1(Find<ui::Button>("Button1"))
    , Button2(Find<ui::Button>("Button2"))
    , Button3(Find<ui::Button>("Button3"))
    , Memo1(Find<ui::Memo>("Memo1"))
{
    Button1->OnClick = [this] { Button1Click(); };
    Button2->OnClick = [this] { Button2Click(); };
    Button3->OnClick = [this] { Button3Click(); };
    // A missing first document ends the window's construction.
    LoadDocument("setup.txt");
    AgreementStep = 0;
}

void TFrame2::LoadDocument(const char* name)
{
    std::vector<char> bytes;
    if (!package::ReadDocument(name, bytes))
        throw ui::FileOpenError(name);
    Memo1->SetLines(bytes);
}

// The step changes only once the page has changed: when a document cannot be
// opened the error escapes before the assignment, and the page and its step
// stay as they were.
void TFrame2::Button2Click()
{
    AgreementStep = Form2->ChangeAgreementPage(AgreementStep + 1);
}

void TFrame2::Button1Click()
{
    AgreementStep = Form2->ChangeAgreementPage(AgreementStep - 1);
}

void TFrame2::Button3Click()
{
    Form2->CloseWizard();
}
