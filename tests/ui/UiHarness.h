// Answers modal windows (dialogs, message boxes, property sheets) opened by the test's own thread.
//
//   ui::Answerer answerer([&](HWND dialog) {
//     seen = ui::Text(dialog, IDC_MESSAGE);
//     ui::Click(dialog, IDOK);
//   });
//   int result = RunSomethingModal();
//   ASSERT_TRUE(answerer.Finish());
//
// A watcher thread waits for a new top-level dialog window of the thread that created the
// Answerer, runs the callback on that window (controls are read and set with messages, which the
// modal loop serves), then waits for the window to close. Every wait has a timeout: a window that
// never appears, or that the callback leaves open, is reported and closed so the test fails
// instead of hanging.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

constexpr DWORD DefaultTimeoutMs = 10000;

class Answerer {
 public:
  explicit Answerer(std::function<void(HWND)> answer, DWORD timeoutMs = DefaultTimeoutMs);
  ~Answerer();
  Answerer(const Answerer&) = delete;
  Answerer& operator=(const Answerer&) = delete;

  // Waits for the watcher; true when a window appeared, was answered and closed by the answer.
  bool Finish();
  // What went wrong, for test messages ("" when nothing did).
  const std::string& Problem() const { return problem_; }

 private:
  static DWORD WINAPI Watch(void* self);
  void Run();

  std::function<void(HWND)> answer_;
  DWORD timeoutMs_;
  DWORD ownerThread_;
  HANDLE thread_ = nullptr;
  std::string problem_;
  bool finished_ = false;
  bool ok_ = false;
};

// The first top-level dialog window (class "#32770") of `thread` that is visible, or null.
HWND FindDialogOfThread(DWORD thread);
// Another visible dialog of the thread that owns `dialog` (a message box it put up), or null.
HWND FindOtherDialog(HWND dialog);

// Control helpers; `dialog` may belong to another thread of the process.
std::string Text(HWND dialog, int control);
void SetText(HWND dialog, int control, const char* text);
bool Checked(HWND dialog, int control);
bool Enabled(HWND dialog, int control);
// Presses a button as a mouse click would (nothing happens when it is disabled).
void Click(HWND dialog, int control);
// Sends WM_COMMAND for a control, as a keyboard accelerator would (also when it is disabled).
void Command(HWND dialog, int control);
int ComboSelection(HWND dialog, int control);
int ComboCount(HWND dialog, int control);
std::string ComboItem(HWND dialog, int control, int index);
// Selects an entry of a drop-down list and notifies its dialog as a user's choice does.
void ChooseComboEntry(HWND dialog, int control, int index);
// The current page of a property sheet.
HWND CurrentPage(HWND sheet);

}  // namespace ui
