#include "operations/ProgressDialog.h"

#include <commctrl.h>

#include <cstring>
#include <new>

#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "resources/resource.h"

namespace {

struct ThreadStart {
  HWND owner;
  std::shared_ptr<ProgressShared> shared;
  HMODULE module;
};

void ShowTexts(HWND dialog, ProgressShared& shared) {
  char name[MaxPath];
  char fromTo[MaxPath * 2];
  {
    std::lock_guard<std::mutex> hold(shared.textLock);
    std::memcpy(name, shared.itemName, sizeof name);
    std::memcpy(fromTo, shared.fromTo, sizeof fromTo);
  }
  SetDlgItemTextA(dialog, IDC_ITEM_NAME, name);
  SetDlgItemTextA(dialog, IDC_FROM_TO, fromTo);
  SetDlgItemTextA(dialog, IDC_RATIO, "");
}

void ShowProgress(HWND dialog, ProgressShared& shared, std::uint32_t packed,
                  std::uint32_t original) {
  std::uint32_t size = shared.itemSize.load();
  if (size != 0) {
    std::uint32_t done = original != 0 ? original : packed;
    PostMessageA(GetDlgItem(dialog, IDC_PROGRESS), PBM_SETPOS,
                 static_cast<WPARAM>(ProgressPercent(done, size)), 0);
  }
  if (original == 0) return;
  char text[256];
  if (packed == 0xFFFFFFFFu) {
    LoadLibraryString(IDS_STORED_INSTEAD, text, sizeof text);
  } else {
    char pattern[128];
    LoadLibraryString(IDS_AVERAGE_RATIO, pattern, sizeof pattern);
    int ratio = static_cast<int>(std::uint64_t{packed} * 100 / original);
    wsprintfA(text, pattern, ratio);
  }
  SetDlgItemTextA(dialog, IDC_RATIO, text);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* shared = reinterpret_cast<ProgressShared*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      shared = reinterpret_cast<ProgressShared*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      HWND animation = GetDlgItem(dialog, IDC_ANIMATION);
      SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(ModuleInstance),
                   reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_PROGRESS_ANIMATION)));
      SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
      ShowTexts(dialog, *shared);
      shared->window.store(dialog);
      // A job that ended while the dialog was being made could not reach its window.
      if (shared->closing.load()) EndDialog(dialog, IDCANCEL);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL || !shared) return FALSE;
      if (!shared->closing.load()) shared->cancelled.store(true);
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case ProgressMessage:
      if (shared && !shared->cancelled.load())
        ShowProgress(dialog, *shared, static_cast<std::uint32_t>(wParam),
                     static_cast<std::uint32_t>(lParam));
      return TRUE;
    case NextItemMessage:
      if (shared && !shared->cancelled.load()) ShowTexts(dialog, *shared);
      return TRUE;
    case WM_DESTROY:
      if (shared) shared->window.store(nullptr);
      return FALSE;
    default:
      return FALSE;
  }
}

DWORD WINAPI ProgressThread(void* parameter) {
  ThreadStart* start = static_cast<ThreadStart*>(parameter);
  HMODULE module = start->module;
  DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PROGRESS), start->owner,
                  ProgressDialogProc, reinterpret_cast<LPARAM>(start->shared.get()));
  delete start;
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

void ProgressShared::SetTexts(const char* name, const char* fromToText) {
  std::lock_guard<std::mutex> hold(textLock);
  // Cut on a character boundary: a long Shift-JIS name never ends in half a character.
  CopyCut(itemName, sizeof itemName, name, std::strlen(name));
  CopyCut(fromTo, sizeof fromTo, fromToText, std::strlen(fromToText));
}

int ProgressPercent(std::uint32_t done, std::uint32_t total) {
  if (total == 0) return 0;
  std::uint64_t percent = std::uint64_t{done} * 100 / total;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

bool ProgressDialog::Open(HWND owner, std::shared_ptr<ProgressShared> shared) {
  if (thread_ || !shared) return false;
  auto* start = new (std::nothrow) ThreadStart{owner, shared, nullptr};
  if (!start) return false;
  // The thread keeps the library loaded until its last instruction has run.
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&ProgressThread), &start->module);
  HMODULE module = start->module;
  thread_ = CreateThread(nullptr, 0, ProgressThread, start, 0, nullptr);
  if (!thread_) {
    if (module) FreeLibrary(module);
    delete start;
    return false;
  }
  shared_ = std::move(shared);
  return true;
}

void ProgressDialog::Close(DWORD timeoutMs) {
  if (!thread_) return;
  // Either the dialog sees `closing` once its window is published, or the window is seen here.
  shared_->closing.store(true);
  HWND window = shared_->window.load();
  if (window) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  DWORD begin = GetTickCount();
  for (;;) {
    DWORD waited = GetTickCount() - begin;
    if (waited >= timeoutMs) break;
    DWORD result = MsgWaitForMultipleObjects(1, &thread_, FALSE, timeoutMs - waited, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 + 1) break;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  CloseHandle(thread_);
  thread_ = nullptr;
  shared_.reset();
}
