#include "ui/UiHarness.h"

#include <commctrl.h>
#include <prsht.h>


namespace ui {

namespace {

constexpr DWORD PollMs = 20;

struct Search {
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window)) {
    reinterpret_cast<Search*>(parameter)->found = window;
    return FALSE;
  }
  return TRUE;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += PollMs) {
    if (!IsWindow(window)) return true;
    Sleep(PollMs);
  }
  return !IsWindow(window);
}

// Every message to a control is bounded: a window that stops answering fails the test instead of
// holding it.
constexpr UINT SendTimeoutMs = 5000;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, SendTimeoutMs, &result))
    return 0;
  return static_cast<LRESULT>(result);
}

LRESULT SendItem(HWND dialog, int control, UINT message, WPARAM wParam, LPARAM lParam) {
  return Send(GetDlgItem(dialog, control), message, wParam, lParam);
}

}  // namespace

namespace {

BOOL CALLBACK OtherVisibleDialog(HWND window, LPARAM found) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  HWND* result = reinterpret_cast<HWND*>(found);
  if (window == *result || lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *result = window;
  return FALSE;
}

}  // namespace

HWND FindOtherDialog(HWND dialog) {
  HWND found = dialog;  // in: the window to pass over; out: another dialog of its thread
  EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), OtherVisibleDialog,
                    reinterpret_cast<LPARAM>(&found));
  return found != dialog ? found : nullptr;
}

HWND FindDialogOfThread(DWORD thread) {
  Search search = {nullptr};
  EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

Answerer::Answerer(std::function<void(HWND)> answer, DWORD timeoutMs)
    : answer_(std::move(answer)), timeoutMs_(timeoutMs), ownerThread_(GetCurrentThreadId()) {
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
  if (!thread_) problem_ = "the watcher thread could not start";
}

Answerer::~Answerer() { Finish(); }

DWORD WINAPI Answerer::Watch(void* self) {
  static_cast<Answerer*>(self)->Run();
  return 0;
}

void Answerer::Run() {
  HWND dialog = nullptr;
  for (DWORD waited = 0; waited < timeoutMs_ && !dialog; waited += PollMs) {
    dialog = FindDialogOfThread(ownerThread_);
    if (!dialog) Sleep(PollMs);
  }
  if (!dialog) {
    problem_ = "no dialog appeared";
    return;
  }
  // Let the modal loop finish WM_INITDIALOG and show the window before the answer starts.
  Send(dialog, WM_NULL, 0, 0);
  answer_(dialog);
  if (WaitUntilGone(dialog, timeoutMs_)) {
    ok_ = true;
    return;
  }
  problem_ = "the answer left the dialog open";
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  if (WaitUntilGone(dialog, 2000)) return;
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  if (WaitUntilGone(dialog, 2000)) return;
  EndDialog(dialog, -1);
}

bool Answerer::Finish() {
  if (!finished_ && thread_) {
    // The watcher's own waits are bounded; this bound only guards against a stuck answer.
    if (WaitForSingleObject(thread_, 4 * timeoutMs_ + 10000) != WAIT_OBJECT_0) {
      problem_ = "the answer did not return";
      TerminateThread(thread_, 1);
    }
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  finished_ = true;
  return ok_;
}

std::string Text(HWND dialog, int control) {
  char text[2048] = "";
  SendItem(dialog, control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

void SetText(HWND dialog, int control, const char* text) {
  SendItem(dialog, control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

bool Checked(HWND dialog, int control) {
  return SendItem(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Enabled(HWND dialog, int control) {
  HWND window = GetDlgItem(dialog, control);
  return window && IsWindowEnabled(window);
}

void Click(HWND dialog, int control) {
  // A mouse click never reaches a disabled window.
  if (Enabled(dialog, control)) SendItem(dialog, control, BM_CLICK, 0, 0);
}

void Command(HWND dialog, int control) {
  Send(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

int ComboSelection(HWND dialog, int control) {
  return static_cast<int>(SendItem(dialog, control, CB_GETCURSEL, 0, 0));
}

int ComboCount(HWND dialog, int control) {
  return static_cast<int>(SendItem(dialog, control, CB_GETCOUNT, 0, 0));
}

std::string ComboItem(HWND dialog, int control, int index) {
  char text[256] = "";
  LRESULT length = SendItem(dialog, control, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR || length >= static_cast<LRESULT>(sizeof text)) return std::string();
  SendItem(dialog, control, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

void ChooseComboEntry(HWND dialog, int control, int index) {
  SendItem(dialog, control, CB_SETCURSEL, index, 0);
  Send(dialog, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

HWND CurrentPage(HWND sheet) {
  return reinterpret_cast<HWND>(Send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

}  // namespace ui
