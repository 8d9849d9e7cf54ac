#include "dll/DropTestSupport.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "namespace/ChangeNotice.h"
#include "namespace/ModuleState.h"
#include "resource.h"
#include "ui/UiHarness.h"

namespace droptest {

HGLOBAL MakeDropFiles(const std::vector<std::string>& paths, bool wide) {
  std::vector<BYTE> names;
  for (const std::string& path : paths) {
    if (wide) {
      WCHAR buffer[1024];
      int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, buffer, 1024);
      const BYTE* bytes = reinterpret_cast<const BYTE*>(buffer);
      names.insert(names.end(), bytes, bytes + n * sizeof(WCHAR));
    } else {
      names.insert(names.end(), path.begin(), path.end());
      names.push_back(0);
    }
  }
  names.insert(names.end(), wide ? 2 : 1, 0);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = wide;
  std::memcpy(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES), names.data(), names.size());
  GlobalUnlock(block);
  return block;
}

const InterfaceEntry* FileDropData::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<FileDropData, IDataObject>(IID_IDataObject),
                                         EndOfInterfaces()};
  return table;
}

FileDropData::FileDropData(std::vector<std::string> paths, bool offerFiles)
    : paths_(std::move(paths)), offerFiles_(offerFiles) {}

STDMETHODIMP FileDropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = MakeDropFiles(paths_);
  medium->pUnkForRelease = nullptr;
  return S_OK;
}
STDMETHODIMP FileDropData::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
STDMETHODIMP FileDropData::QueryGetData(FORMATETC* format) {
  bool files = offerFiles_ && format && format->cfFormat == CF_HDROP &&
               (format->tymed & TYMED_HGLOBAL);
  return files ? S_OK : DV_E_FORMATETC;
}
STDMETHODIMP FileDropData::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP FileDropData::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP FileDropData::EnumFormatEtc(DWORD, IEnumFORMATETC** out) {
  *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP FileDropData::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
  return OLE_E_ADVISENOTSUPPORTED;
}
STDMETHODIMP FileDropData::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
STDMETHODIMP FileDropData::EnumDAdvise(IEnumSTATDATA** out) {
  *out = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}

namespace {

LRESULT CALLBACK StubProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == ViewRefreshCommand)
    SetWindowLongPtrA(window, GWLP_USERDATA, GetWindowLongPtrA(window, GWLP_USERDATA) + 1);
  return DefWindowProcA(window, message, wParam, lParam);
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

ViewWindowStub::~ViewWindowStub() {
  if (window_) DestroyWindow(window_);
}

int ViewWindowStub::refreshes() const {
  return static_cast<int>(GetWindowLongPtrA(window_, GWLP_USERDATA));
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

namespace {

struct Search {
  std::vector<HWND>* handled;
  const std::vector<std::string>* passOver;
  HWND found;
};

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  if (lstrcmpA(className, "#32770") != 0) return TRUE;
  if (std::find(search->handled->begin(), search->handled->end(), window) !=
      search->handled->end())
    return TRUE;
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  for (const std::string& pass : *search->passOver)
    if (pass == title) return TRUE;
  search->found = window;
  return FALSE;
}

std::string Describe(HWND dialog) {
  if (GetDlgItem(dialog, IDC_OVERWRITE)) return "124";
  HWND icon = GetDlgItem(dialog, IDC_DIALOG_ICON);
  if (icon) {
    auto shown = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
    if (shown == LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_FOLDER_TAKEN))) return "121-folder";
    if (shown == LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_FILE_TAKEN))) return "121-file";
  }
  return ui::Text(dialog, 0xFFFF);  // a message box's text
}

}  // namespace

AnyThreadDialogs::AnyThreadDialogs(std::vector<Answer> answers,
                                   std::vector<std::string> passOver)
    : answers_(std::move(answers)), passOver_(std::move(passOver)) {
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

AnyThreadDialogs::~AnyThreadDialogs() { Finish(); }

int AnyThreadDialogs::Finish() {
  if (thread_) {
    stop_ = true;
    WaitForSingleObject(thread_, 90000);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return answered_;
}

DWORD WINAPI AnyThreadDialogs::Watch(void* self) {
  static_cast<AnyThreadDialogs*>(self)->Run();
  return 0;
}

HWND AnyThreadDialogs::FindNew() {
  Search search = {&handled_, &passOver_, nullptr};
  EnumWindows(FindProcessDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void AnyThreadDialogs::Run() {
  DWORD idle = 0;
  while (!stop_ && idle < 60000) {
    HWND dialog = FindNew();
    if (!dialog) {
      Sleep(20);
      idle += 20;
      continue;
    }
    idle = 0;
    handled_.push_back(dialog);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    seen_.push_back(Describe(dialog));
    if (answered_ < static_cast<int>(answers_.size())) {
      answers_[answered_++](dialog);
    } else {
      ++unexpected_;
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(20);
    if (IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
  }
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
