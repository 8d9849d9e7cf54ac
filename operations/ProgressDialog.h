// The progress dialog of an add-files job (dialog 128): the looping animation, the file being
// compressed, where it comes from and goes to, a progress bar and the average ratio so far, and
// Cancel. It runs on a thread of its own so that a busy worker never stalls it and a busy dialog
// never stalls the worker; the two share only a ProgressShared record, which both hold.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "archive/PathName.h"

// Private messages the worker posts to the dialog.
constexpr UINT ProgressMessage = 0x590;  // wParam packed bytes so far, lParam original bytes
constexpr UINT NextItemMessage = 0x591;  // a new item started: show its texts

// What the worker and the dialog thread share. Every field is atomic or guarded by `textLock`.
struct ProgressShared {
  std::atomic<HWND> window{nullptr};      // published by the dialog, cleared when it goes
  std::atomic<bool> cancelled{false};     // the user pressed Cancel
  std::atomic<bool> closing{false};       // the job is over: the dialog closes (or never opens)
  std::atomic<std::uint32_t> itemSize{0}; // original size of the file being compressed
  std::mutex textLock;
  char itemName[MaxPath] = "";            // the file's name
  char fromTo[MaxPath * 2] = "";          // string 420 filled with the two folder names

  void SetTexts(const char* name, const char* fromToText);
};

// The dialog's thread, started by Open and ended by Close.
class ProgressDialog {
 public:
  ProgressDialog() = default;
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;
  ~ProgressDialog() { Close(); }

  // Starts the thread that shows dialog 128 over `owner` (may be null). False when it could not
  // start; the job then goes on without a dialog.
  bool Open(HWND owner, std::shared_ptr<ProgressShared> shared);
  // Closes the dialog (also one that has not published its window yet) and waits for its thread,
  // serving this thread's messages meanwhile (the dialog disables its owner with a sent message)
  // and for at most `timeoutMs`; a thread that does not end in time keeps the shared record and
  // its own reference to the library, so nothing is freed under it.
  void Close(DWORD timeoutMs = 10000);
  bool Started() const { return thread_ != nullptr; }

 private:
  HANDLE thread_ = nullptr;
  std::shared_ptr<ProgressShared> shared_;
};

// Percentage of `done` out of `total`, 0..100, in 64 bits (a file over 42 MB would overflow
// `done * 100` in 32).
int ProgressPercent(std::uint32_t done, std::uint32_t total);
