// The progress window shown while the installation runs: what is being done,
// a bar of the bytes written and the name of the file at hand. Show() and
// Close() (which hides it) come from the form.
#pragma once

#include <cstdint>
#include <string>

#include "ui/Forms.h"

class TForm3 : public ui::Form {
public:
    TForm3();
    // The same window with another caption and text (the uninstaller's).
    TForm3(const wchar_t* caption, const wchar_t* text);
    // Form3 holds the window from the end of its construction until it is
    // destroyed.
    ~TForm3() override;

    ui::Label* Label1;
    ui::ProgressBar* ProgressBar1;
    ui::Label* Label2; // the file or entry at hand

    // done of total, and the item at hand (ANSI); empty shows none.
    void SetProgress(uint64_t done, uint64_t total, const std::string& item);

private:
    void FindControls();

    std::string shownItem_;
};

extern TForm3* Form3;
