#include "commands/MenuCommands.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "archive/PathName.h"
#include "commands/MenuMerge.h"
#include "commands/VerbMenu.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "namespace/WideName.h"
#include "operations/AddFilesJob.h"
#include "resources/resource.h"

namespace {

struct VerbName {
  const char* verb;
  UINT command;
};
const VerbName VerbNames[] = {{"link", CMD_SHORTCUT},     {"delete", CMD_DELETE},
                              {"rename", CMD_RENAME},     {"properties", CMD_PROPERTIES},
                              {"cut", CMD_CUT},           {"copy", CMD_COPY},
                              {"paste", CMD_PASTE}};

FORMATETC FileListFormat() {
  return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

}  // namespace

bool ReadInvocation(const CMINVOKECOMMANDINFO* info, Invocation* out) {
  if (!info || !out) return false;
  const char* verb = info->lpVerb;
  // Callers of older systems pass the extended record without its last fields.
  constexpr std::size_t WideVerbEnd =
      offsetof(CMINVOKECOMMANDINFOEX, lpVerbW) + sizeof(CMINVOKECOMMANDINFOEX::lpVerbW);
  if ((info->fMask & CMIC_MASK_UNICODE) && info->cbSize >= WideVerbEnd) {
    const auto* wide = reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info);
    if (wide->lpVerbW && !IS_INTRESOURCE(wide->lpVerbW)) {
      out->byOffset = false;
      return WideToName(wide->lpVerbW, out->verb, sizeof out->verb);
    }
    if (!verb && wide->lpVerbW) verb = reinterpret_cast<const char*>(wide->lpVerbW);
  }
  if (IS_INTRESOURCE(verb)) {
    out->byOffset = true;
    out->offset = LOWORD(reinterpret_cast<ULONG_PTR>(verb));
    return true;
  }
  out->byOffset = false;
  const std::size_t length = std::strlen(verb);
  if (length >= sizeof out->verb) return false;
  std::memcpy(out->verb, verb, length + 1);
  return true;
}

bool CommandOfVerb(const char* verb, UINT* command) {
  for (const VerbName& name : VerbNames) {
    if (lstrcmpiA(verb, name.verb) == 0) {
      *command = name.command;
      return true;
    }
  }
  return false;
}

bool CommandOfInvocation(const CMINVOKECOMMANDINFO* info, UINT* command, HGLOBAL verbs,
                         UINT verbCount) {
  Invocation asked;
  if (!ReadInvocation(info, &asked)) return false;
  if (asked.byOffset) {
    *command = asked.offset;
    return true;
  }
  if (CommandOfVerb(asked.verb, command)) return true;
  const auto* records = verbs ? static_cast<const VerbRecord*>(GlobalLock(verbs)) : nullptr;
  if (!records) return false;
  bool found = false;
  for (UINT i = 0; i < verbCount && !found; ++i) {
    if (lstrcmpiA(records[i].verb, asked.verb) == 0) {
      *command = i;
      found = true;
    }
  }
  GlobalUnlock(verbs);
  return found;
}

const char* VerbOfCommand(UINT command) {
  for (const VerbName& name : VerbNames)
    if (name.command == command) return name.verb;
  return nullptr;
}

bool ClipboardHasFileList() {
  IDataObject* clipboard = nullptr;
  if (OleGetClipboard(&clipboard) != S_OK || !clipboard) return false;
  FORMATETC format = FileListFormat();
  const bool has = clipboard->QueryGetData(&format) == S_OK;
  clipboard->Release();
  return has;
}

bool PasteInto(HWND owner, ArchiveFolder* folder, const char* targetPath) {
  IDataObject* clipboard = nullptr;
  if (OleGetClipboard(&clipboard) != S_OK || !clipboard) return false;
  FORMATETC format = FileListFormat();
  STGMEDIUM medium = {};
  bool started = false;
  if (clipboard->GetData(&format, &medium) == S_OK) {
    if (medium.tymed == TYMED_HGLOBAL) {
      // The job reads the list before it returns; it compresses on a worker thread of its own.
      if (AddFilesJob* job = AddFilesJob::Create(owner, folder, targetPath))
        started = job->AddDropList(medium.hGlobal, true);
    }
    ReleaseStgMedium(&medium);
  }
  clipboard->Release();
  return started;
}

UINT MergeMenuResource(HMENU menu, UINT id, UINT position, UINT first, UINT last) {
  HMENU loaded = LoadMenuA(ModuleInstance, MAKEINTRESOURCEA(id));
  if (!loaded) return 0;
  const UINT highest =
      MergeMenus(menu, GetSubMenu(loaded, 0), position, first, last, MergeAddSeparator);
  DestroyMenu(loaded);
  return highest;
}

void CopyCommandText(const char* text, UINT kind, LPSTR buffer, UINT size) {
  if (!buffer || size == 0) return;
  if (kind & GCS_UNICODE) {
    auto* wide = reinterpret_cast<LPWSTR>(buffer);
    const int n = MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide, static_cast<int>(size));
    if (n == 0) {
      // Too long: as much as fits, ending on a whole character.
      const std::size_t cut = CharBoundaryCut(text, std::strlen(text), size - 1);
      const int m = MultiByteToWideChar(CP_OEMCP, 0, text, static_cast<int>(cut), wide,
                                        static_cast<int>(size - 1));
      wide[m > 0 ? m : 0] = L'\0';
    }
    return;
  }
  CopyCut(buffer, size, text, std::strlen(text));
}

void TellChangeNotWritten(HWND owner, const char* archivePath) {
  char format[256], caption[64], text[256 + MAX_PATH];
  LoadLibraryString(IDS_CHANGE_NOT_WRITTEN, format, sizeof format);
  LoadLibraryString(IDS_PRODUCT_CAPTION, caption, sizeof caption);
  std::snprintf(text, sizeof text, format, PathNamePart(archivePath));
  MessageBoxA(owner, text, caption, MB_OK | MB_ICONWARNING);
}
