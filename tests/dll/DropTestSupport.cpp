#include "dll/DropTestSupport.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "namespace/ChangeNotice.h"
#include "namespace/ModuleState.h"
#include "resource.h"
#include "ui/UiHarness.h"

namespace droptest {

template <typename Char>
HGLOBAL DropFilesOf(const std::vector<std::basic_string<Char>>& paths) {
  std::basic_string<Char> names;
  for (const auto& path : paths) names += path + Char(0);
  names += Char(0);
  const std::size_t bytes = names.size() * sizeof(Char);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes);
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = sizeof(Char) == sizeof(WCHAR);
  std::memcpy(header + 1, names.data(), bytes);
  GlobalUnlock(block);
  return block;
}

HGLOBAL MakeDropFiles(const std::vector<std::string>& paths) { return DropFilesOf(paths); }
HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths) { return DropFilesOf(paths); }

const InterfaceEntry* FileDropData::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<FileDropData, IDataObject>(IID_IDataObject),
                                         EndOfInterfaces()};
  return table;
}

STDMETHODIMP FileDropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = MakeDropFiles(paths_);
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

STDMETHODIMP FileDropData::QueryGetData(FORMATETC* format) {
  return offerFiles_ && format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL)
             ? S_OK : DV_E_FORMATETC;
}

namespace {

LRESULT CALLBACK StubProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == ViewRefreshCommand)
    SetWindowLongPtrA(window, GWLP_USERDATA, GetWindowLongPtrA(window, GWLP_USERDATA) + 1);
  return DefWindowProcA(window, message, wParam, lParam);
}

// What a dialog is: the file question has the overwrite choice; the two forms of the other
// question differ by their icon.
std::string Describe(HWND dialog) {
  if (GetDlgItem(dialog, IDC_OVERWRITE)) return "124";
  auto icon = reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, IDC_DIALOG_ICON, STM_GETICON,
                                                          0, 0));
  if (icon && icon == LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_FOLDER_TAKEN)))
    return "121-folder";
  if (icon && icon == LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_FILE_TAKEN)))
    return "121-file";
  return ui::Text(dialog, 0xFFFF);  // a message box's text
}

struct Search {
  const std::vector<HWND>* handled;
  HWND found;
};

BOOL CALLBACK FindNewDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
      lstrcmpA(className, "#32770") != 0 ||
      std::count(search->handled->begin(), search->handled->end(), window))
    return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

ViewWindowStub::ViewWindowStub() {
  WNDCLASSA type = {};
  type.lpfnWndProc = StubProc;
  type.hInstance = GetModuleHandleA(nullptr);
  type.lpszClassName = "TanuviaViewStub";
  RegisterClassA(&type);  // fails harmlessly when already registered
  window_ = CreateWindowA("TanuviaViewStub", "view", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                          nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD begin = GetTickCount();
  while (!done()) {
    if (GetTickCount() - begin >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return true;
}

AnyThreadDialogs::AnyThreadDialogs(std::vector<Answer> answers) : answers_(std::move(answers)) {
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

int AnyThreadDialogs::Finish() {
  if (thread_) {
    stop_ = true;
    WaitForSingleObject(thread_, 90000);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return answered_;
}

DWORD WINAPI AnyThreadDialogs::Watch(void* parameter) {
  auto* self = static_cast<AnyThreadDialogs*>(parameter);
  for (DWORD idle = 0; !self->stop_ && idle < 60000;) {
    Search search = {&self->handled_, nullptr};
    EnumWindows(FindNewDialog, reinterpret_cast<LPARAM>(&search));
    HWND dialog = search.found;
    if (!dialog) {
      Sleep(20);
      idle += 20;
      continue;
    }
    idle = 0;
    self->handled_.push_back(dialog);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    self->seen_.push_back(Describe(dialog));
    if (self->answered_ < static_cast<int>(self->answers_.size())) {
      self->answers_[self->answered_++](dialog);
    } else {
      ++self->unexpected_;
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(20);
    if (IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
  }
  return 0;
}

AnyThreadDialogs::Answer Press(int button) {
  return [button](HWND dialog) { ui::Click(dialog, button); };
}

AnyThreadDialogs::Answer Rename(const char* name) {
  std::string text = name;
  return [text](HWND dialog) {
    if (GetDlgItem(dialog, IDC_RENAME)) ui::Click(dialog, IDC_RENAME);
    ui::SetText(dialog, IDC_NEW_NAME, text.c_str());
    ui::Click(dialog, IDOK);
  };
}

}  // namespace droptest
