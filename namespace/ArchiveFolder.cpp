#include "namespace/ArchiveFolder.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/EntryEnumerator.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "commands/ArchiveDropTarget.h"
#include "namespace/ClassId.h"
#include "namespace/ItemCompare.h"
#include "namespace/ItemEnumerator.h"
#include "namespace/ItemId.h"
#include "namespace/Settings.h"
#include "namespace/WideName.h"
#include "namespace/ArchiveView.h"
#include "namespace/ChangeNotice.h"
#include "namespace/IconIndex.h"
#include "namespace/ItemIcon.h"
#include "commands/BackgroundContextMenu.h"
#include "commands/ItemContextMenu.h"
#include "operations/ArchiveDataObject.h"

namespace {

// Attribute masks: file items, folder items, and the folder itself (no items).
constexpr SFGAOF FileItemMask = SFGAO_FILESYSTEM | SFGAO_HASPROPSHEET | SFGAO_CANDELETE |
                                SFGAO_CANRENAME | SFGAO_CANCOPY;
constexpr SFGAOF FolderItemMask = SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM | SFGAO_FOLDER |
                                  SFGAO_DROPTARGET | SFGAO_HASPROPSHEET | SFGAO_CANDELETE |
                                  SFGAO_CANRENAME | SFGAO_CANCOPY;
constexpr SFGAOF FolderSelfMask =
    SFGAO_FILESYSTEM | SFGAO_DROPTARGET | SFGAO_HASPROPSHEET | SFGAO_CANRENAME;
static_assert(FileItemMask == 0x40000071, "file item attributes");
static_assert(FolderItemMask == 0xE0000171, "folder item attributes");
static_assert(FolderSelfMask == 0x40000150, "folder attributes");

void SetOffsetName(STRRET* name, const ItemId& item, const char* text) {
  name->uType = STRRET_OFFSET;
  name->uOffset = static_cast<UINT>(text - reinterpret_cast<const char*>(&item));
}

void SetCopiedName(STRRET* name, const char* text, std::size_t length) {
  name->uType = STRRET_CSTR;
  CopyCut(name->cStr, sizeof name->cStr, text, length);
}

// A text that may not fit STRRET's 260 bytes goes out whole as a wide string from the task
// allocator (the receiver frees it); short texts stay byte strings.
HRESULT SetLongName(STRRET* name, const char* text) {
  std::size_t length = std::strlen(text);
  if (length < sizeof name->cStr) {
    SetCopiedName(name, text, length);
    return S_OK;
  }
  int wide = MultiByteToWideChar(CP_OEMCP, 0, text, -1, nullptr, 0);
  if (wide <= 0) return E_FAIL;
  auto* buffer = static_cast<WCHAR*>(CoTaskMemAlloc(static_cast<SIZE_T>(wide) * sizeof(WCHAR)));
  if (!buffer) return E_OUTOFMEMORY;
  MultiByteToWideChar(CP_OEMCP, 0, text, -1, buffer, wide);
  name->uType = STRRET_WSTR;
  name->pOleStr = buffer;
  return S_OK;
}

// True when HKEY_CLASSES_ROOT knows the extension, which is when Explorer hides it.
bool IsRegisteredExtension(const char* extension) {
  LONG size = 0;
  return RegQueryValueA(HKEY_CLASSES_ROOT, extension, nullptr, &size) == ERROR_SUCCESS;
}

// Terminated copy of a record field (records come from an archive).
std::size_t FieldLength(const char* field) {
  std::size_t n = 0;
  while (n < EntryFieldMax && field[n]) ++n;
  return n;
}

// True when another member of the folder `directory` already answers to `name`: a member file or
// folder entry of that name, or a folder that exists only as a prefix of member paths. Letter case
// does not count (the names land in one Windows folder); the member itself is not counted.
bool NameTaken(EntryEnumerator& snapshot, const char* self, const char* directory,
               const char* name) {
  char wanted[EntryPathMax + 1];
  std::size_t d = FieldLength(directory);
  std::size_t n = std::strlen(name);
  if (d + n + 1 >= sizeof wanted) return true;
  std::memcpy(wanted, directory, d);
  std::memcpy(wanted + d, name, n);
  wanted[d + n] = '\0';
  snapshot.Reset();
  ArchiveEntry record;
  while (snapshot.Next(1, &record, nullptr) == S_OK) {
    char key[EntryPathMax];
    EntryPath(record, key);
    if (std::strcmp(key, self) == 0) continue;
    if (CompareNoCase(key, wanted) == 0 || IsBelowFolder(wanted, key)) return true;
  }
  return false;
}

// Renames the folder `folderKey` (its path with the closing backslash) to `newKey` (likewise):
// every member below it, its own folder entry included, gets the new folder in its directory, all
// staged and committed together. S_FALSE when the new name is taken by a member outside the folder
// or a path would not fit; E_FAIL when the archive could not take it (nothing is left staged).
HRESULT RenameFolderMembers(Archive& archive, const std::string& folderKey,
                            const std::string& newKey) {
  EntryEnumerator* snapshot = archive.EnumEntries();
  if (!snapshot) return S_FALSE;
  std::vector<std::pair<std::string, ArchiveEntry>> moved;
  bool refused = false;
  ArchiveEntry record;
  while (!refused && snapshot->Next(1, &record, nullptr) == S_OK) {
    char key[EntryPathMax];
    EntryPath(record, key);
    const std::size_t length = std::strlen(key);
    if (length >= folderKey.size() && PrefixEqualNoCase(key, folderKey.c_str(), folderKey.size())) {
      // Below the folder: only its directory's leading folder changes.
      const std::size_t rest = FieldLength(record.directory);
      if (rest < folderKey.size() || newKey.size() + rest - folderKey.size() > EntryFieldMax) {
        refused = true;
        break;
      }
      const std::string directory =
          newKey + std::string(record.directory + folderKey.size(), rest - folderKey.size());
      std::memset(record.directory, 0, sizeof record.directory);
      std::memcpy(record.directory, directory.data(), directory.size());
      moved.emplace_back(key, record);
      continue;
    }
    // Elsewhere: a member at the new folder's path or below it takes the name.
    const std::size_t folder = newKey.size() - 1;
    refused = length >= folder && PrefixEqualNoCase(key, newKey.c_str(), folder) &&
              (length == folder || PrefixEqualNoCase(key, newKey.c_str(), newKey.size()));
  }
  snapshot->Release();
  if (refused || moved.empty()) return S_FALSE;
  std::size_t staged = 0;
  while (staged < moved.size() &&
         StageEntry(archive, moved[staged].first.c_str(), moved[staged].second))
    ++staged;
  std::uint32_t dropped = 0;
  if (staged < moved.size() || !Commit(archive, nullptr, &dropped)) {
    // Taken back, or the next change of any member would commit it silently.
    for (std::size_t i = 0; i < staged; ++i) Unstage(archive, moved[i].first.c_str());
    return E_FAIL;
  }
  return dropped == 0 ? S_OK : E_FAIL;
}

}  // namespace

const InterfaceEntry* ArchiveFolder::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<ArchiveFolder, IShellFolder>(IID_IShellFolder),
      Offer<ArchiveFolder, IPersistFolder>(IID_IPersistFolder),
      Offer<ArchiveFolder, IShellIcon>(IID_IShellIcon),
      EndOfInterfaces(),
  };
  return table;
}

HRESULT ArchiveFolder::Create(REFIID iid, void** out) {
  return CreateComObject<ArchiveFolder>(iid, out);
}

ArchiveFolder::ArchiveFolder() = default;

ArchiveFolder::~ArchiveFolder() {
  if (archive) archive->Release();
}

// ----- IPersistFolder -----

STDMETHODIMP ArchiveFolder::GetClassID(CLSID* classId) {
  if (!classId) return E_INVALIDARG;
  *classId = CLSID_Tanuvia;
  return S_OK;
}

STDMETHODIMP ArchiveFolder::Initialize(LPCITEMIDLIST list) {
  if (!list) return E_INVALIDARG;
  char path[MAX_PATH] = "";
  if (!SHGetPathFromIDListA(list, path)) path[0] = '\0';
  if (!absoluteIdList.Assign(list)) return E_INVALIDARG;
  std::memcpy(archivePath, path, sizeof archivePath);
  depth = 0;
  innerPath[0] = '\0';
  Archive* opened = new (std::nothrow) Archive;
  if (!opened) return E_OUTOFMEMORY;
  // A file that cannot be opened leaves an archive without members; the view then shows an
  // empty folder.
  opened->OpenFile(archivePath);
  opened->Retain();
  // A second Initialize starts over with the new file.
  if (archive) archive->Release();
  archive = opened;
  return S_OK;
}

// ----- IShellFolder -----

STDMETHODIMP ArchiveFolder::ParseDisplayName(HWND, LPBC, LPOLESTR, ULONG*, LPITEMIDLIST* list,
                                             ULONG*) {
  if (list) *list = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ArchiveFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  return EnumFolder(archive, innerPath, depth, static_cast<DWORD>(flags), out);
}

STDMETHODIMP ArchiveFolder::BindToObject(LPCITEMIDLIST list, LPBC, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IShellFolder)) return E_NOINTERFACE;
  if (!list || list->mkid.cb == 0) return E_INVALIDARG;
  ArchiveFolder* folder = new (std::nothrow) ArchiveFolder;
  if (!folder) return E_OUTOFMEMORY;
  folder->AddRef();
  folder->archive = archive;
  if (archive) archive->Retain();
  HRESULT result = S_OK;
  if (!folder->absoluteIdList.Assign(absoluteIdList.Get()) ||
      !folder->absoluteIdList.Append(list)) {
    result = E_OUTOFMEMORY;
  }
  const ItemId* last = AsItemId(folder->absoluteIdList.LastItem());
  // The folder's path and its backslash must fit the path buffer.
  if (SUCCEEDED(result) && (!last || std::strlen(last->path) + 1 >= sizeof innerPath))
    result = E_INVALIDARG;
  if (FAILED(result)) {
    folder->Release();
    return result;
  }
  std::memcpy(folder->archivePath, archivePath, sizeof archivePath);
  JoinPath(folder->innerPath, sizeof folder->innerPath, last->path, "");  // fits: checked above
  folder->depth = static_cast<std::int32_t>(CountSeparators(folder->innerPath));
  *out = static_cast<IShellFolder*>(folder);
  return S_OK;
}

STDMETHODIMP ArchiveFolder::BindToStorage(LPCITEMIDLIST, LPBC, REFIID, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ArchiveFolder::CompareIDs(LPARAM column, LPCITEMIDLIST first,
                                       LPCITEMIDLIST second) {
  const ItemId* a = AsItemId(first);
  const ItemId* b = AsItemId(second);
  if (!a || !b) return E_INVALIDARG;
  // The low word is the column; the shell may set flags in the high word.
  int result = CompareItems(static_cast<int>(column & 0xFFFF), *a, *b);
  // The comparison itself is the result value (1, 0 or 0xFFFFFFFF); the views read its low word.
  return static_cast<HRESULT>(result);
}

STDMETHODIMP ArchiveFolder::CreateViewObject(HWND owner, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IDropTarget))
    return ArchiveDropTarget::CreateForFolder(innerPath, this, owner, iid, out);
  if (IsEqualIID(iid, IID_IContextMenu)) return BackgroundContextMenu::Create(this, iid, out);
  if (IsEqualIID(iid, IID_IShellView))
    return CreateArchiveViewObject(static_cast<IShellFolder*>(this), absoluteIdList.Get(), &view,
                                   out);
  return E_NOINTERFACE;
}

STDMETHODIMP ArchiveFolder::GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* mask) {
  if (!mask) return E_INVALIDARG;
  if (count == 0 || !items || !items[0]) {
    *mask &= FolderSelfMask;
    return S_OK;
  }
  for (UINT i = 0; i < count; ++i) {
    const ItemId* item = AsItemId(items[i]);
    if (!item) return E_INVALIDARG;
    *mask &= IsFolderItem(*item) ? FolderItemMask : FileItemMask;
  }
  return S_OK;
}

STDMETHODIMP ArchiveFolder::GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID iid,
                                          UINT*, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (count == 0 || !items) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i)
    if (!AsItemId(items[i])) return E_INVALIDARG;
  bool single = IsEqualIID(iid, IID_IExtractIconA) || IsEqualIID(iid, IID_IExtractIconW) ||
                IsEqualIID(iid, IID_IDropTarget);
  if (single && count != 1) return E_INVALIDARG;
  if (IsEqualIID(iid, IID_IExtractIconA) || IsEqualIID(iid, IID_IExtractIconW))
    return CreateItemIcon(items[0], archive, iid, out);
  if (IsEqualIID(iid, IID_IContextMenu))
    return ItemContextMenu::Create(this, count, items, iid, out);
  if (IsEqualIID(iid, IID_IDataObject))
    return ArchiveDataObject::Create(this, count, items, ArchiveDataObject::DragMode, iid, out);
  if (IsEqualIID(iid, IID_IDropTarget)) {
    // Only a folder member takes dropped files (file members do not claim SFGAO_DROPTARGET).
    const ItemId* item = AsItemId(items[0]);
    char target[MAX_PATH];
    if (!IsFolderItem(*item) || std::strlen(item->path) + 1 >= sizeof target) return E_INVALIDARG;
    wsprintfA(target, "%s\\", item->path);
    return ArchiveDropTarget::CreateForFolder(target, this, owner, iid, out);
  }
  return E_NOINTERFACE;
}

STDMETHODIMP ArchiveFolder::GetDisplayNameOf(LPCITEMIDLIST list, SHGDNF flags, STRRET* name) {
  if (!name) return E_INVALIDARG;
  const ItemId* item = AsItemId(list);
  if (!item) return E_INVALIDARG;
  const char* leaf = PathNamePart(item->path);
  if (flags & SHGDN_FORADDRESSBAR) {
    char text[9 + MAX_PATH + 1 + MAX_PATH];
    wsprintfA(text, "file:%s/%s", archivePath, item->path);
    return SetLongName(name, text);
  }
  if (flags & SHGDN_FORPARSING) {
    // Relative to this folder the parsing name is the name alone; otherwise the whole path.
    SetOffsetName(name, *item, (flags & SHGDN_INFOLDER) ? leaf : item->path);
    return S_OK;
  }
  if (!(flags & SHGDN_FOREDITING) && !IsFolderItem(*item) && ShowExtensions() == 0) {
    const char* extension = PathExtension(leaf);
    if (extension && IsRegisteredExtension(extension)) {
      SetCopiedName(name, leaf, static_cast<std::size_t>(extension - leaf));
      return S_OK;
    }
  }
  SetOffsetName(name, *item, leaf);
  return S_OK;
}

STDMETHODIMP ArchiveFolder::SetNameOf(HWND, LPCITEMIDLIST list, LPCOLESTR newName, SHGDNF flags,
                                      LPITEMIDLIST* newItem) {
  if (newItem) *newItem = nullptr;
  if (flags != SHGDN_INFOLDER) return E_NOTIMPL;
  const ItemId* item = AsItemId(list);
  if (!item || !newName) return E_INVALIDARG;
  char name[MAX_PATH];
  if (!WideToName(newName, name, sizeof name, MemberCodePage))
    return S_FALSE;  // does not fit a name, or has a character the archive's names cannot hold
  if (lstrcmpA(name, PathNamePart(item->path)) == 0) return S_OK;
  if (!name[0] || !IsValidFileName(name)) return S_FALSE;
  if (!archive) return S_FALSE;
  if (IsFolderItem(*item)) {
    char parent[MaxPath];
    PathFolder(parent, item->path);
    const HRESULT renamed = RenameFolderMembers(*archive, JoinPath(item->path, ""),
                                                JoinPath(JoinPath(parent, name), ""));
    if (renamed == S_OK) AnnounceChange();
    return renamed;
  }
  EntryEnumerator* snapshot = archive->EnumEntries();
  if (!snapshot) return S_FALSE;
  ArchiveEntry record;
  bool found = snapshot->FindEntry(item->path, &record);
  bool taken = found && NameTaken(*snapshot, item->path, record.directory, name);
  snapshot->Release();
  if (!found || taken) return S_FALSE;
  std::memset(record.name, 0, sizeof record.name);
  std::memcpy(record.name, name, std::strlen(name));
  // A rename that cannot be committed is reported, so the shell does not show a name the archive
  // does not hold.
  if (!StageEntry(*archive, item->path, record)) return E_FAIL;
  std::uint32_t dropped = 0;
  if (!Commit(*archive, nullptr, &dropped)) {
    // Taken back, or the next change of any member would commit it silently.
    Unstage(*archive, item->path);
    return E_FAIL;
  }
  if (dropped != 0) return E_FAIL;  // the member left the archive before the commit
  AnnounceChange();
  return S_OK;
}

void ArchiveFolder::AnnounceChange() {
  AnnounceArchiveChange(archivePath, absoluteIdList.Get(), ViewWindow());
}

HWND ArchiveFolder::ViewWindow() const {
  HWND window = nullptr;
  if (view && FAILED(view->GetWindow(&window))) window = nullptr;
  return window;
}

// ----- IShellIcon -----

STDMETHODIMP ArchiveFolder::GetIconOf(LPCITEMIDLIST list, UINT flags, int* index) {
  return ItemIconIndex(list, flags, index);
}
