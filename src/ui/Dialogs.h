// The framework's modal dialogs. Their texts are fixed here as UTF-16, so the
// dialogs read the same whatever language the system speaks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "install/FilesInUse.h"

namespace ui {

// A message box whose buttons carry exactly the given texts (IDOK, IDCANCEL,
// IDYES, IDNO; null keeps the system's). type is MB_OK, MB_OKCANCEL, MB_YESNO
// or MB_YESNOCANCEL with an icon. Returns the button pressed, or 0 when the box failed.
struct ButtonTexts {
    const wchar_t* ok = nullptr;
    const wchar_t* cancel = nullptr;
    const wchar_t* yes = nullptr;
    const wchar_t* no = nullptr;
};
int MessageBoxExact(
    HWND owner, const std::wstring& text, const std::wstring& caption, UINT type, const ButtonTexts& buttons);

// The window that owns a dialog opened now: the active window of this thread.
HWND DialogOwner();
// The caption of the framework's plain boxes: the program's file name without
// its extension.
std::wstring ApplicationTitle();

// A plain message with one "OK" button, owned by the active window.
void ShowMessage(const std::wstring& text);
// The default error box for an error that escaped an event handler.
void ShowErrorBox(const std::wstring& text);
// The confirmation: caption "確認", question icon, "OK" and "キャンセル".
// True when the user pressed "OK".
bool Confirm(const std::wstring& text);

// The question about files that programs hold: the programs (or, where
// none is named, the files), with "閉じる" (Close: ask them to close),
// "再試行" (Retry: check again) and "キャンセル" (Cancel); closeTried says
// that they were asked to close and some still hold files; removing, that
// the files are to be removed rather than replaced.
install::InUseAnswer FilesInUseQuestion(const std::vector<std::string>& files,
    const std::vector<std::wstring>& programs, bool closeTried, bool removing, const std::wstring& caption);

// A question with "はい(&Y)" and "いいえ(&N)" and the question icon; true for
// Yes.
bool AskYesNo(HWND owner, const std::wstring& text, const std::wstring& caption);

// The directory-selection dialog, starting at `directory` (ANSI). A typed
// folder that does not exist is accepted after a question and created with its
// missing parents. On OK, `directory` receives the chosen folder as a full
// path and the result is true. The current directory is left wherever the
// user navigated; the caller restores its own.
bool SelectDirectory(std::string& directory);

} // namespace ui
