#include "commands/ArchiveFileExtension.h"

#include "commands/MenuCommands.h"

#include <prsht.h>

#include <cstring>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "archive/Extract.h"
#include "archive/NoCase.h"
#include "archive/StringList.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "operations/DropList.h"
#include "operations/TempCopy.h"
#include "resources/resource.h"

namespace {

bool EndsWithLzh(const char* path) {
  std::size_t length = std::strlen(path);
  return length >= 4 && CompareNoCase(path + length - 4, ".lzh") == 0;
}

void AddToListBox(void* context, const char* memberPath) {
  SendMessageA(static_cast<HWND>(context), LB_INSERTSTRING, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(memberPath));
}

INT_PTR CALLBACK SummaryPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
    auto* extension = reinterpret_cast<ArchiveFileExtension*>(sheetPage->lParam);
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(extension));
    if (!extension) return TRUE;
    const char* path = extension->ArchivePath();
    SHFILEINFOA info = {};
    if (SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_ICON) && info.hIcon) {
      HICON old = reinterpret_cast<HICON>(SendDlgItemMessageA(
          page, IDC_SUMMARY_ICON, STM_SETICON, reinterpret_cast<WPARAM>(info.hIcon), 0));
      if (old) DestroyIcon(old);
    }
    SetDlgItemTextA(page, IDC_ITEM_NAME, PathNamePart(path));
    ListMemberFiles(path, AddToListBox, GetDlgItem(page, IDC_MEMBER_LIST));
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code == PSN_APPLY || header->code == PSN_RESET) {
      SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
      return TRUE;
    }
  }
  if (message == WM_DESTROY) {
    HICON icon = reinterpret_cast<HICON>(
        SendDlgItemMessageA(page, IDC_SUMMARY_ICON, STM_SETICON, 0, 0));
    if (icon) DestroyIcon(icon);
  }
  return FALSE;
}

// The page holds its extension from AddPages until the sheet releases the page, whether or not
// the page was ever shown.
UINT CALLBACK SummaryPageCallback(HWND, UINT message, PROPSHEETPAGEA* page) {
  if (message == PSPCB_RELEASE && page && page->lParam)
    reinterpret_cast<ArchiveFileExtension*>(page->lParam)->Release();
  return 1;
}

}  // namespace

void ListMemberFiles(const char* path, void (*add)(void* context, const char* memberPath),
                     void* context) {
  Archive* archive = new (std::nothrow) Archive;
  if (!archive) return;
  archive->Retain();
  if (archive->OpenFile(path) == ResultOk) {
    EntryEnumerator* snapshot = archive->EnumEntries();
    if (snapshot) {
      ArchiveEntry entry;
      while (snapshot->Next(1, &entry, nullptr) == ResultOk) {
        if (entry.attributes & 0x10) continue;
        char memberPath[EntryPathMax];
        EntryPath(entry, memberPath);
        add(context, memberPath);
      }
      snapshot->Release();
    }
  }
  archive->Release();
}

const InterfaceEntry* ArchiveFileExtension::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<ArchiveFileExtension, IShellExtInit>(IID_IShellExtInit),
      Offer<ArchiveFileExtension, IContextMenu>(IID_IContextMenu),
      Offer<ArchiveFileExtension, IShellPropSheetExt>(IID_IShellPropSheetExt),
      EndOfInterfaces(),
  };
  return table;
}

HRESULT ArchiveFileExtension::Create(REFIID iid, void** out) {
  return CreateComObject<ArchiveFileExtension>(iid, out);
}

ArchiveFileExtension::~ArchiveFileExtension() {
  if (data_) data_->Release();
}

STDMETHODIMP ArchiveFileExtension::Initialize(LPCITEMIDLIST folder, IDataObject* data, HKEY) {
  // Whatever the shell gave before is forgotten, also when it now gives nothing.
  if (data_) data_->Release();
  data_ = data;
  if (data_) data_->AddRef();
  folderPath_[0] = '\0';
  archivePath_[0] = '\0';
  if (folder && !SHGetPathFromIDListA(folder, folderPath_)) folderPath_[0] = '\0';
  return S_OK;
}

bool ArchiveFileExtension::SingleArchive() {
  archivePath_[0] = '\0';
  if (!data_) return false;
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (FAILED(data_->GetData(&format, &medium))) return false;
  StringList paths;
  DropListCounts counts;
  bool one = medium.tymed == TYMED_HGLOBAL && ReadDropList(medium.hGlobal, paths, &counts) &&
             counts.taken == 1 && counts.skipped == 0;
  ReleaseStgMedium(&medium);
  const char* path = nullptr;
  if (!one || !paths.Get(0, &path, nullptr, nullptr) || !EndsWithLzh(path)) return false;
  lstrcpynA(archivePath_, path, sizeof archivePath_);
  return true;
}

STDMETHODIMP ArchiveFileExtension::QueryContextMenu(HMENU menu, UINT position, UINT first,
                                                    UINT last, UINT) {
  // Extracting needs a folder on disk to write into.
  if (!menu || first > last || !folderPath_[0] || !SingleArchive())
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  char text[64];
  LoadLibraryString(IDS_EXTRACT_HERE, text, sizeof text);
  if (!InsertMenuA(menu, position, MF_BYPOSITION | MF_STRING, first, text))
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

STDMETHODIMP ArchiveFileExtension::InvokeCommand(LPCMINVOKECOMMANDINFO info) {
  // The one command is offset 0; a verb string (ANSI, or wide when the caller says Unicode) names
  // none of ours.
  Invocation asked;
  if (!ReadInvocation(info, &asked) || !asked.byOffset || asked.offset != 0) return E_INVALIDARG;
  if (!archivePath_[0] || !folderPath_[0]) return E_FAIL;
  ExtractAll(archivePath_, folderPath_, ShellHandOffBytes);
  return S_OK;
}

STDMETHODIMP ArchiveFileExtension::GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) {
  return E_NOTIMPL;
}

STDMETHODIMP ArchiveFileExtension::AddPages(LPFNADDPROPSHEETPAGE addPage, LPARAM parameter) {
  if (!addPage || !SingleArchive()) return S_OK;
  char title[64];
  LoadLibraryString(IDS_SUMMARY_PAGE_TITLE, title, sizeof title);
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE | PSP_USECALLBACK;
  page.hInstance = ModuleInstance;
  page.pszTemplate = MAKEINTRESOURCEA(IDD_SUMMARY_PAGE);
  page.pszTitle = title;  // copied by CreatePropertySheetPage
  page.pfnDlgProc = SummaryPageProc;
  page.lParam = reinterpret_cast<LPARAM>(this);
  page.pfnCallback = SummaryPageCallback;
  AddRef();  // released by the page's PSPCB_RELEASE
  HPROPSHEETPAGE made = CreatePropertySheetPageA(&page);
  if (!made) {
    Release();
    return S_OK;
  }
  if (!addPage(made, parameter)) DestroyPropertySheetPage(made);  // releases through the callback
  return S_OK;
}

STDMETHODIMP ArchiveFileExtension::ReplacePage(UINT, LPFNADDPROPSHEETPAGE, LPARAM) {
  return S_OK;
}
