// What the tests of adding files need around the objects under test: CF_HDROP media and a data
// object carrying one, a stand-in for the view's window that counts refresh commands, a message
// pump with a bound, and an answerer for the dialogs of any thread of the process (the add-files
// job asks its questions on its worker thread).
#pragma once

#include <windows.h>
#include <objidl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "namespace/ComObject.h"

namespace droptest {

// A DROPFILES block naming `paths` (ANSI or wide names).
HGLOBAL MakeDropFiles(const std::vector<std::string>& paths, bool wide = false);

// A data object offering CF_HDROP with `paths` (a fresh block for every GetData), or, when made
// with `offerFiles` false, no format at all.
class FileDropData : public ComObject<FileDropData, IDataObject> {
 public:
  static const InterfaceEntry* InterfaceTable();
  explicit FileDropData(std::vector<std::string> paths, bool offerFiles = true);
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override;
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override;
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override;
  STDMETHODIMP DUnadvise(DWORD) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

 private:
  std::vector<std::string> paths_;
  bool offerFiles_;
};

// A top-level window of the calling thread standing for the view's window: it counts the
// refresh commands (WM_COMMAND 41061) it receives.
class ViewWindowStub {
 public:
  ViewWindowStub();
  ~ViewWindowStub();
  HWND window() const { return window_; }
  int refreshes() const;

 private:
  HWND window_ = nullptr;
};

// Serves the calling thread's messages until `done` answers true; false after `timeoutMs`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000);

// Answers, in order, each new visible dialog or message box of any thread of this process. A
// dialog whose title is in `passOver` is left alone (the progress dialog, for tests that do not
// press it). A dialog after the last answer is counted and cancelled, so a test fails rather
// than hangs; the watcher gives up after 60 s without a dialog.
class AnyThreadDialogs {
 public:
  using Answer = std::function<void(HWND)>;
  explicit AnyThreadDialogs(std::vector<Answer> answers, std::vector<std::string> passOver = {});
  ~AnyThreadDialogs();
  AnyThreadDialogs(const AnyThreadDialogs&) = delete;
  AnyThreadDialogs& operator=(const AnyThreadDialogs&) = delete;
  // Stops watching; the number of dialogs answered.
  int Finish();
  int unexpected() const { return unexpected_; }
  // What each dialog was: "124", "121-folder", "121-file" (by its controls and icon) or the
  // text of a message box.
  const std::vector<std::string>& seen() const { return seen_; }

 private:
  static DWORD WINAPI Watch(void* self);
  void Run();
  HWND FindNew();

  std::vector<Answer> answers_;
  std::vector<std::string> passOver_;
  std::vector<HWND> handled_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  int answered_ = 0;
  int unexpected_ = 0;
  std::vector<std::string> seen_;
};

// Answers: press a button; type a new name in dialog 121/124 (choosing rename in 124) and confirm.
AnyThreadDialogs::Answer Press(int button);
AnyThreadDialogs::Answer Rename(const char* name);

}  // namespace droptest
