// The wizard window: the program's main window, owner of the setup record,
// the installer core and the four pages. The pages reach it through Form2.
#pragma once

#include <memory>
#include <string>

#include "config/CommandLine.h"
#include "config/SetupRecord.h"
#include "package/ClsYnb.h"
#include "sys/LogFile.h"
#include "ui/Forms.h"
#include "wizard/Inst_form1.h"
#include "wizard/Inst_form2.h"
#include "wizard/Inst_form3.h"
#include "wizard/Inst_form4.h"

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
    // Created by the constructor, released by FormClose.
    std::unique_ptr<ClsYnb> Ynb;

    void FormShow();
    void FormActivate();
    void FormCloseQuery(bool& canClose);
    void FormClose();
    void TFrame11Button2Click();
    int ChangeAgreementPage(int step);
    void SetFinished();
    void CloseWizard();

    bool SetupFinished = false;
    // The program's exit code: cancelled until the setup finishes or fails.
    uint32_t ExitCode = config::kExitCancelled;
    // The /LOG= file (closed when none was asked for); owned by the entry.
    sys::LogFile* Log = nullptr;
};

extern TForm2* Form2;
