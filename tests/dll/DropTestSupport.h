// Around the objects that add files: CF_HDROP media and a data object carrying one, a stand-in
// for the view's window that counts refresh commands, a bounded message pump, and an answerer
// for the dialogs of any thread of the process (a job asks its questions on its worker thread).
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "namespace/ComObject.h"

namespace droptest {

// A DROPFILES block naming `paths` (a wide list for wide paths, as the shell makes it).
HGLOBAL MakeDropFiles(const std::vector<std::string>& paths);
HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths);

// Offers CF_HDROP with `paths` (a fresh block per GetData), or no format at all.
class FileDropData : public ComObject<FileDropData, IDataObject> {
 public:
  static const InterfaceEntry* InterfaceTable();
  explicit FileDropData(std::vector<std::string> paths, bool offerFiles = true)
      : paths_(std::move(paths)), offerFiles_(offerFiles) {}
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  std::vector<std::string> paths_;
  bool offerFiles_;
};

// A window of the calling thread standing for the view's; counts WM_COMMAND 41061.
class ViewWindowStub {
 public:
  ViewWindowStub();
  ~ViewWindowStub() { DestroyWindow(window_); }
  HWND window() const { return window_; }
  int refreshes() const { return static_cast<int>(GetWindowLongPtrA(window_, GWLP_USERDATA)); }

 private:
  HWND window_ = nullptr;
};

// Serves the calling thread's messages until `done`; false after `timeoutMs`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000);

// Answers each new visible dialog or message box of this process in order. A dialog after the
// last answer is counted and cancelled, so a test fails rather than hangs; the watcher gives up
// after 60 s without a dialog.
class AnyThreadDialogs {
 public:
  using Answer = std::function<void(HWND)>;
  explicit AnyThreadDialogs(std::vector<Answer> answers);
  ~AnyThreadDialogs() { Finish(); }
  int Finish();  // stops watching; the number answered
  int unexpected() const { return unexpected_; }
  // Each dialog as "124", "121-folder", "121-file" (by its controls and icon), else its text.
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  static DWORD WINAPI Watch(void* self);
  std::vector<Answer> answers_;
  std::vector<HWND> handled_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  int answered_ = 0;
  int unexpected_ = 0;
  std::vector<std::string> seen_;
};

// Press a button; or type a new name in dialog 121/124 (choosing rename in 124) and confirm.
AnyThreadDialogs::Answer Press(int button);
AnyThreadDialogs::Answer Rename(const char* name);

}  // namespace droptest
