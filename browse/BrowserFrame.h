// The frame window of tnbrowse: a small shell browser laid out like a shell window. A row at the
// top holds the Up button and the address field (the path inside the archive); below it the
// folder's view; at the bottom a status line with the number of items and, with a selection, its
// count and the total size of its files. The caption names the archive and the open folder
// ("tanuvia-sources.lzh\archive").
//
// It shows one folder's view at a time, opens sub-folders when the view asks it to browse
// (BrowseObject) or when a folder item is activated (OnDefaultCommand), and goes back up with the
// Up button, Backspace or Alt+Up. It knows nothing of archives: it holds folders and asks them
// for names and attributes, as a shell does.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <vector>

class BrowserFrame : public IShellBrowser, public ICommDlgBrowser {
 public:
  BrowserFrame();
  BrowserFrame(const BrowserFrame&) = delete;
  BrowserFrame& operator=(const BrowserFrame&) = delete;
  ~BrowserFrame();

  // Creates the frame window and shows `root` (whose absolute identifier list is `rootList`) in
  // it; `rootName` begins the caption. `viewMode` (FVM_ICON .. FVM_DETAILS) is kept for every
  // folder shown; 0 leaves the mode to the folder's view. The frame keeps its own references and
  // copies. False when the window or the view cannot be made.
  bool Open(IShellFolder* root, LPCITEMIDLIST rootList, const char* rootName, UINT viewMode,
            int show);
  HWND Window() const { return window_; }
  // The program's message loop hands every message here first: Backspace and Alt+Up go up, then
  // the active view may translate it. True when the message was used.
  bool PreTranslate(MSG* message);

  // IUnknown (the frame lives on its owner's stack: counting only, no deletion)
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

 private:
  // One open folder level; levels[0] is the root.
  struct Level {
    IShellFolder* folder;
    LPITEMIDLIST absolute;  // owned, from the shell's allocator
    LPITEMIDLIST relative;  // the single item that opened it in its parent; null for the root
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool CreateControls();
  // (Re)creates the view of the top level; `select` (an item of that level) is selected in it.
  bool ShowLevel(LPCITEMIDLIST select = nullptr);
  // Browsing asked for by the view (BrowseObject, an activated folder) happens once the view's
  // own message is handled, never inside it.
  void PostNavigate(LPCITEMIDLIST list, UINT flags);
  bool Navigate(LPCITEMIDLIST list, UINT flags);  // BrowseObject's list and SBSP_ flags
  bool Enter(LPCITEMIDLIST relative);  // opens a folder below the top level, one level per item
  bool Leave();                        // back to the parent level, the folder left selected
  void PopTo(std::size_t depth);       // drops levels above `depth` without showing anything
  void CloseView();
  void UpdateLocation();               // caption, address field and the Up button
  void UpdateStatus();
  HWND ListView() const;
  LPITEMIDLIST SelectedItem(IShellView* view) const;  // owned copy, or null
  // Shows the folder's background menu at `at` (screen coordinates) and runs the chosen command.
  void ShowBackgroundMenu(POINT at);
  void Layout();

  ULONG references_ = 1;
  HWND window_ = nullptr;
  HWND up_ = nullptr;
  HWND addressLabel_ = nullptr;
  HWND address_ = nullptr;
  HWND status_ = nullptr;
  HFONT font_ = nullptr;
  IShellView* view_ = nullptr;
  HWND viewWindow_ = nullptr;
  std::vector<Level> levels_;
  char rootName_[MAX_PATH] = "";
  UINT viewMode_ = 0;
  bool statusPending_ = false;
  bool navigationPending_ = false;
  LPITEMIDLIST pendingList_ = nullptr;  // the browsing request posted last, until it is done
  UINT pendingFlags_ = 0;
};
