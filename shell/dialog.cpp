#include "shell/dialog.h"

#include <optional>
#include <string>

#include "convert/convert434.h"
#include "platform/file_system.h"
#include "records/context.h"
#include "records/format.h"
#include "resources/box105.h"
#include "run/session.h"
#include "upgrade/upgrade.h"

namespace livrana::shell {
namespace {

constexpr int kFolderChars = 100;     // the folder field holds at most this many characters
constexpr int kCompanyChars = 10;     // the company filter takes at most this many
constexpr DWORD kFolderBuffer = 100;  // the current folder is shown when it fits in this

// The text of a dialog field, cut to at most max_chars characters.
std::string FieldText(HWND dialog, int control, int max_chars) {
  std::string text(static_cast<std::size_t>(max_chars) + 1, '\0');
  UINT len = GetDlgItemTextA(dialog, control, text.data(), max_chars + 1);
  text.resize(len);
  return text;
}

// The current folder, or the empty text when it does not fit in the field's buffer.
std::string CurrentFolder() {
  char buf[kFolderBuffer];
  DWORD len = GetCurrentDirectoryA(kFolderBuffer, buf);
  if (len == 0 || len >= kFolderBuffer) return std::string();
  return std::string(buf, len);
}

// The typed folder becomes the current one when it exists; either way the field then
// shows the folder that really is current.
void ApplyFolderField(HWND dialog) {
  std::string typed = FieldText(dialog, IDC_FOLDER, kFolderChars);
  SetCurrentDirectoryA(typed.c_str());
  SetDlgItemTextA(dialog, IDC_FOLDER, CurrentFolder().c_str());
}

void InitDialog(HWND dialog) {
  SetDialogFont(dialog);
  char title[100];
  int len = GetWindowTextA(GetParent(dialog), title, sizeof title);
  SetWindowTextA(dialog, len > 0 ? title : "");
  SetDlgItemTextA(dialog, IDC_FOLDER, CurrentFolder().c_str());
  LimitText(dialog, IDC_FOLDER, kFolderChars);
}

// Runs step 4.34 in the current folder, over the company typed (all when empty).
void RunConversion(HWND dialog) {
  DialogSink sink(dialog);
  Outcome outcome;
  {
    WaitCursor wait(sink);
    SessionOptions options;
    options.company_filter = FieldText(dialog, IDC_COMPANY, kCompanyChars);
    options.command = "dialogo";  // as the folder's history records the run
    options.task = "dialogo";
    Session session(platform::OpenHostFileSystem(std::string()), options);
    // Two conversions never work on one data folder at once: the command line on the
    // server takes the same lock.
    outcome = session.Lock();
    if (LockHeld(outcome)) {
      const LockHolder& holder = session.holder();
      sink.Warn("Livrana", Format("A pasta de dados está sendo convertida por outro programa "
                                  "(processo %d em %s, desde %s UTC).\nTente novamente depois.",
                                  holder.pid, holder.host, holder.time));
    } else if (!outcome) {
      sink.Fail("Livrana", Sentence(outcome));
    } else if (const LibraryStep* first = FirstPendingStep(session.host())) {
      // The conversion of this dialog is for the current layouts only.
      sink.Warn("Livrana", OlderLayoutMessage(session.host(), *first));
      outcome = Outcome::Failed(Operation::kCheck, session.host().Root(), Cause::kLayout);
      (void)session.Unlock();
    } else {
      outcome = session.Run(sink, "convert", [](Context& ctx) { return Convert434(ctx).outcome; });
      if (Outcome released = session.Unlock(); !released) {
        sink.Fail("Livrana", Sentence(released));
        outcome.Also(std::move(released));
      }
    }
  }
  ShowStatus(dialog, "");
  // A step that could not finish has said so in its own message; the run is then not
  // reported as done.
  if (outcome) {
    MessageBoxA(dialog, "A conversão foi realizada.", "Livrana", MB_OK | MB_ICONINFORMATION);
  }
}

}  // namespace

void ShowStatus(HWND dialog, std::string_view text) {
  SetDlgItemTextA(dialog, IDC_STATUS, std::string(text).c_str());
  if (HWND status = GetDlgItem(dialog, IDC_STATUS)) UpdateWindow(status);
}

void SetDialogFont(HWND dialog) {
  auto font = reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT));
  for (int id = 100; id < 400; ++id) {
    if (HWND control = GetDlgItem(dialog, id)) SendMessageA(control, WM_SETFONT, font, FALSE);
  }
  if (HWND control = GetDlgItem(dialog, IDC_CLOSE)) SendMessageA(control, WM_SETFONT, font, FALSE);
}

void LimitText(HWND dialog, int control, int n) {
  SendDlgItemMessageA(dialog, control, EM_LIMITTEXT, static_cast<WPARAM>(n), 0);
}

INT_PTR CALLBACK ConversionDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(dialog);
      return TRUE;  // the focus goes to the first tab stop, the folder field
    case WM_COMMAND: {
      int control = LOWORD(wparam);
      if (HIWORD(wparam) == EN_KILLFOCUS && control == IDC_FOLDER) ApplyFolderField(dialog);
      switch (control) {
        case IDC_CLOSE:
          EndDialog(dialog, 0);
          return TRUE;
        case IDC_CONVERT:
          RunConversion(dialog);
          return TRUE;
        case IDC_NEXT_FIELD:  // the Enter key in a field moves on to the next one
          PostMessageA(dialog, WM_NEXTDLGCTL, 0, 0);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

void DialogSink::Status(std::string_view text) {
  ShowStatus(dialog_, text);
  last_status_ = GetTickCount();
  shown_ = true;
}

bool DialogSink::StatusDue() { return !shown_ || GetTickCount() - last_status_ >= 50; }

int DialogSink::Box(std::string_view caption, std::string_view text, UINT type) {
  return MessageBoxA(dialog_, std::string(text).c_str(), std::string(caption).c_str(), type);
}

void DialogSink::Inform(std::string_view caption, std::string_view text) {
  Box(caption, text, MB_OK | MB_ICONINFORMATION);
}

void DialogSink::Fail(std::string_view caption, std::string_view text) {
  Box(caption, text, MB_OK | MB_ICONERROR);
}

void DialogSink::Warn(std::string_view caption, std::string_view text) {
  Box(caption, text, MB_OK | MB_ICONWARNING);
}

bool DialogSink::Ask(std::string_view caption, std::string_view text) {
  return Box(caption, text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void DialogSink::BeginWait() {
  previous_cursors_.push_back(SetCursor(LoadCursorA(nullptr, IDC_WAIT)));
}

void DialogSink::EndWait() {
  if (previous_cursors_.empty()) return;
  SetCursor(previous_cursors_.back());
  previous_cursors_.pop_back();
}

void DialogSink::Repaint() { UpdateWindow(dialog_); }

}  // namespace livrana::shell
