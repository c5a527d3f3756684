// The wizard window: the program's main window, owner of the setup record,
// the service objects and the four pages.
//
// What the installation sequence uses (src/install):
//   TForm2* Form2;  TForm1* Form1 (app/Installerback.h);  TForm3* Form3 (app/Progress.h)
//   Form2->TFrame11 .. TFrame41   pages; page->Show() / page->Hide()
//   Form2->Record                 SetupRecord (BaseFolder, DesktopShortcut, ...)
//   Form2->ProgramDir             std::string, the program's directory
//   Form2->File, ->Ynb, ->Security   ClsFile*, ClsYnb*, ClsSecurity* (owned by Form2)
//   Form2->CloseWizard(), Form2->SetFinished()
//   TFrame3: Edit1 (ui::Edit*, Text() gives ANSI bytes), CheckBox1, CheckBox2
//            (ui::CheckBox*, Checked()), Button1..Button4 (ui::Button*,
//            SetEnabled(bool))
//   Form3->Show() (not modal), Form3->Close() (hides it)
//   ui::Application::ProcessMessages(), ui::ShowMessage(const std::wstring&)
#pragma once

#include <string>

#include "config/SetupRecord.h"
#include "ui/Forms.h"
#include "wizard/Inst_form1.h"
#include "wizard/Inst_form2.h"
#include "wizard/Inst_form3.h"
#include "wizard/Inst_form4.h"

class ClsFile;
class ClsYnb;
class ClsSecurity;

class TForm2 : public ui::Form {
public:
    TForm2();
    ~TForm2() override;

    TFrame4* TFrame41 = nullptr;
    TFrame3* TFrame31 = nullptr;
    TFrame2* TFrame21 = nullptr;
    TFrame1* TFrame11 = nullptr;
    SetupRecord Record {};
    std::string ProgramDir;
    // Owned: created by the constructor, deleted by FormClose.
    ClsFile* File = nullptr;
    ClsYnb* Ynb = nullptr;
    ClsSecurity* Security = nullptr;

    void FormShow();
    void FormActivate();
    void FormCloseQuery(bool& canClose);
    void FormClose();
    void TFrame11Button2Click();
    int ChangeAgreementPage(int step);
    void SetFinished();
    void CloseWizard();

    bool SetupFinished = false;

private:
    void DeleteServices();
};

extern TForm2* Form2;
