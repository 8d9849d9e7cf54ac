// The frame window of tnbrowse: a small shell browser. It shows one folder's view at a time,
// opens sub-folders when the view asks it to browse (BrowseObject) or when a folder item is
// double-clicked (OnDefaultCommand), goes back up with Backspace, and answers the view's request
// for its browser (CWM_GETISHELLBROWSER). It knows nothing of archives: it only holds folders.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <vector>

class BrowserFrame : public IShellBrowser, public ICommDlgBrowser {
 public:
  BrowserFrame();
  BrowserFrame(const BrowserFrame&) = delete;
  BrowserFrame& operator=(const BrowserFrame&) = delete;

  // Creates the frame window and shows `root` (whose absolute identifier list is `rootList`)
  // in it. The frame keeps its own references and copies. False when the window or view fails.
  bool Open(IShellFolder* root, LPCITEMIDLIST rootList, const char* title, int show);
  HWND Window() const { return window_; }
  // Lets the active view translate keyboard messages first. True when it used the message.
  bool TranslateViewAccelerator(MSG* message);

  // IUnknown (the frame lives on the stack of WinMain: counting only, no deletion)
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  // IShellBrowser
  STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
  STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU descriptor, HWND active) override;
  STDMETHODIMP RemoveMenusSB(HMENU shared) override;
  STDMETHODIMP SetStatusTextSB(LPCOLESTR text) override;
  STDMETHODIMP EnableModelessSB(BOOL enable) override;
  STDMETHODIMP TranslateAcceleratorSB(MSG* message, WORD id) override;
  STDMETHODIMP BrowseObject(LPCITEMIDLIST list, UINT flags) override;
  STDMETHODIMP GetViewStateStream(DWORD mode, IStream** out) override;
  STDMETHODIMP GetControlWindow(UINT id, HWND* out) override;
  STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) override;
  STDMETHODIMP QueryActiveShellView(IShellView** out) override;
  STDMETHODIMP OnViewWindowActive(IShellView* view) override;
  STDMETHODIMP SetToolbarItems(LPTBBUTTON buttons, UINT count, UINT flags) override;
  // ICommDlgBrowser
  STDMETHODIMP OnDefaultCommand(IShellView* view) override;
  STDMETHODIMP OnStateChange(IShellView* view, ULONG change) override;
  STDMETHODIMP IncludeObject(IShellView* view, LPCITEMIDLIST item) override;

  ~BrowserFrame();

 private:
  // One open folder level; levels[0] is the root.
  struct Level {
    IShellFolder* folder;
    LPITEMIDLIST absolute;  // owned, from the shell's allocator
    LPITEMIDLIST relative;  // the item that opened it in its parent; null for the root
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool ShowLevel();             // (re)creates the view of the top level
  bool Enter(LPCITEMIDLIST relative);  // opens a sub-folder of the top level
  bool Leave();                 // back to the parent level
  void UpdateTitle();
  LPITEMIDLIST SelectedItem(IShellView* view) const;  // owned copy, or null
  void Layout();

  ULONG references_ = 1;
  HWND window_ = nullptr;
  IShellView* view_ = nullptr;
  HWND viewWindow_ = nullptr;
  std::vector<Level> levels_;
  char title_[MAX_PATH] = "";
};
