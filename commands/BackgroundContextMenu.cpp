#include "commands/BackgroundContextMenu.h"

#include <commdlg.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/PathName.h"
#include "commands/MenuCommands.h"
#include "commands/MenuMerge.h"
#include "commands/PropertySheets.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "operations/AddFilesJob.h"
#include "resources/resource.h"

namespace {

constexpr UINT FilePullDown = 0x00010000;
constexpr DWORD NameBufferSize = 33280;

}  // namespace

const InterfaceEntry* BackgroundContextMenu::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<BackgroundContextMenu, IContextMenu>(IID_IContextMenu), EndOfInterfaces()};
  return table;
}

HRESULT BackgroundContextMenu::Create(ArchiveFolder* folder, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!folder) return E_INVALIDARG;
  return CreateComObject<BackgroundContextMenu>(iid, out, folder);
}

BackgroundContextMenu::BackgroundContextMenu(ArchiveFolder* folder) : folder_(folder) {
  folder_->AddRef();
}

BackgroundContextMenu::~BackgroundContextMenu() { folder_->Release(); }

STDMETHODIMP BackgroundContextMenu::QueryContextMenu(HMENU menu, UINT position, UINT first,
                                                     UINT last, UINT flags) {
  const UINT resource = (flags & FilePullDown) ? IDM_BACKGROUND_SHORT : IDM_BACKGROUND;
  const UINT highest = MergeMenuResource(menu, resource, position, first, last);
  if (highest == 0) return E_OUTOFMEMORY;
  if (!ClipboardHasFileList()) {
    char paste[64];
    LoadLibraryString(IDS_PASTE_CAPTION, paste, sizeof paste);
    const int at = FindMenuItemByText(menu, paste);
    if (at >= 0) EnableMenuItem(menu, static_cast<UINT>(at), MF_BYPOSITION | MF_GRAYED);
  }
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, (highest - first) & 0xFFFF);
}

STDMETHODIMP BackgroundContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  UINT command = 0;
  if (!CommandOfInvocation(info, &command)) {
    MessageBeep(MB_ICONEXCLAMATION);
    return E_INVALIDARG;
  }
  switch (command) {
    case CMD_PROPERTIES:
      ShowArchiveProperties(info->hwnd, folder_);
      return S_OK;
    case CMD_NEW_COMPRESSION:
      return NewCompression(info->hwnd);
    case CMD_PASTE:
      return PasteInto(info->hwnd, folder_, folder_->innerPath) ? S_OK : E_FAIL;
    default:
      return E_INVALIDARG;
  }
}

HRESULT BackgroundContextMenu::NewCompression(HWND owner) {
  std::vector<char> names(NameBufferSize, '\0');
  char title[64], filter[80];
  LoadLibraryString(IDS_ADD_FILES_CAPTION, title, sizeof title);
  LoadLibraryString(IDS_ALL_FILES_FILTER, filter, sizeof filter - 8);
  // The filter is pairs of NUL-terminated texts: the name, then the pattern.
  const std::size_t nameLength = std::strlen(filter);
  std::memcpy(filter + nameLength + 1, "*.*\0", 5);
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter;
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = NameBufferSize;
  dialog.lpstrTitle = title;
  dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                 OFN_HIDEREADONLY;
  // The open dialog moves the process's current folder (the shell's) as the user browses, with
  // or without OFN_NOCHANGEDIR; it is put back before anything else runs.
  char current[MAX_PATH];
  const DWORD currentLength = GetCurrentDirectoryA(sizeof current, current);
  const BOOL chosen = GetOpenFileNameA(&dialog);
  if (currentLength > 0 && currentLength < sizeof current) SetCurrentDirectoryA(current);
  if (!chosen) {
    if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
      char text[128], caption[64];
      LoadLibraryString(IDS_TOO_MANY_FILES, text, sizeof text);
      LoadLibraryString(IDS_PRODUCT_CAPTION, caption, sizeof caption);
      MessageBoxA(GetFocus(), text, caption, MB_OK);
    }
    return S_OK;  // cancelled: nothing to do
  }
  return AddChosenFiles(owner, folder_, names.data()) ? S_OK : E_FAIL;
}

bool BackgroundContextMenu::AddChosenFiles(HWND owner, ArchiveFolder* folder, const char* names) {
  AddFilesJob* job = AddFilesJob::Create(owner, folder, folder->innerPath);
  if (!job) return false;
  // Several names: the folder first, then each name in it. Each file is passed as a full path,
  // so the shell's process-wide current folder is never changed.
  const char* next = names + std::strlen(names) + 1;
  bool listed = true;
  if (!*next) {
    listed = job->AddSource(names);
  } else {
    // A root ("C:\\") has its separator already; "C:\\ソ" does not.
    for (; *next && listed; next += std::strlen(next) + 1)
      listed = job->AddSource(JoinPath(names, next, PathKind::Disk).c_str());
  }
  const bool ran = listed && job->Run();
  delete job;
  return ran;
}

STDMETHODIMP BackgroundContextMenu::GetCommandString(UINT_PTR command, UINT kind, UINT*,
                                                     LPSTR buffer, UINT size) {
  const UINT id = static_cast<UINT>(command);
  const bool known = id == CMD_EXPLORE || id == CMD_EXPLORE_DEFAULT ||
                     (id >= CMD_SHORTCUT && id <= CMD_PASTE);
  if (!known) return E_INVALIDARG;
  const UINT plain = kind & ~GCS_UNICODE;
  if (plain == GCS_VALIDATEA) return S_OK;
  if (plain == GCS_VERBA) {
    const char* verb = VerbOfCommand(id);
    if (!verb) return E_INVALIDARG;
    CopyCommandText(verb, kind, buffer, size);
    return S_OK;
  }
  char text[256];
  LoadLibraryString(id, text, sizeof text);
  CopyCommandText(text, kind, buffer, size);
  return S_OK;
}
