// The conversion dialog BOX105: the data folder, the company code, the status line and the
// button that runs step 4.34. While the step runs, the dialog is its status sink.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string_view>
#include <vector>

#include "records/sink.h"

namespace livrana::shell {

// Sets the status line (control 100) and paints it at once: the step runs inside the
// button handler, so no paint message would show the text before the step returns.
void ShowStatus(HWND dialog, std::string_view text);

// Gives control 2 and every control with an id from 100 to 399 the variable-pitch system
// font, without redrawing.
void SetDialogFont(HWND dialog);

// Limits an edit control of the dialog to n characters.
void LimitText(HWND dialog, int control, int n);

INT_PTR CALLBACK ConversionDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The dialog as the step's user interface: texts to the status line, messages in boxes
// owned by the dialog.
class DialogSink final : public Sink {
 public:
  explicit DialogSink(HWND dialog) : dialog_(dialog) {}
  void Status(std::string_view text) override;
  // The status line is repainted at most every 50 ms: a per-record progress text shown
  // more often would only slow the conversion down.
  bool StatusDue() override;
  void Inform(std::string_view caption, std::string_view text) override;
  void Fail(std::string_view caption, std::string_view text) override;
  void Warn(std::string_view caption, std::string_view text) override;
  bool Ask(std::string_view caption, std::string_view text) override;
  void BeginWait() override;
  void EndWait() override;
  void Repaint() override;

 private:
  int Box(std::string_view caption, std::string_view text, UINT type);

  HWND dialog_;
  std::vector<HCURSOR> previous_cursors_;
  DWORD last_status_ = 0;
  bool shown_ = false;
};

}  // namespace livrana::shell
