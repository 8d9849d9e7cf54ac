#include "commands/ItemContextMenu.h"

#include <commctrl.h>

#include <cstring>
#include <new>
#include <string>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "commands/MenuCommands.h"
#include "commands/MenuMerge.h"
#include "commands/OpenAndUpdate.h"
#include "commands/PropertySheets.h"
#include "commands/VerbMenu.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ItemIdList.h"
#include "namespace/ResourceText.h"
#include "namespace/Settings.h"
#include "operations/ArchiveDataObject.h"
#include "operations/ExtractSelection.h"
#include "resources/resource.h"

namespace {

constexpr UINT FilePullDown = 0x00010000;  // the menu is for the browser's File pull-down
constexpr UINT GetShellBrowserMessage = WM_USER + 7;

// A registry caption without its accelerator groups: "開く(&O)" gives "開く".
std::string HelpOfCaption(const char* caption) {
  std::string help;
  for (const char* p = caption; *p;) {
    if (p[0] == '(' && p[1] == '&') {
      if (!p[2] || !p[3]) break;
      p += 4;
      continue;
    }
    help += *p++;
  }
  return help;
}

}  // namespace

const InterfaceEntry* ItemContextMenu::InterfaceTable() {
  static const InterfaceEntry table[] = {Offer<ItemContextMenu, IContextMenu>(IID_IContextMenu),
                                         EndOfInterfaces()};
  return table;
}

HRESULT ItemContextMenu::Create(ArchiveFolder* folder, UINT count, LPCITEMIDLIST* items,
                                REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!folder || count == 0 || !items) return E_INVALIDARG;
  std::vector<ItemId> copies;
  try {
    for (UINT i = 0; i < count; ++i) {
      const ItemId* item = AsItemId(items[i]);
      if (!item) return E_INVALIDARG;
      copies.push_back(*item);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return CreateComObject<ItemContextMenu>(iid, out, folder, std::move(copies));
}

ItemContextMenu::ItemContextMenu(ArchiveFolder* folder, std::vector<ItemId> items)
    : folder_(folder), items_(std::move(items)) {
  folder_->AddRef();
}

ItemContextMenu::~ItemContextMenu() {
  if (verbs_) GlobalFree(verbs_);
  folder_->Release();
}

std::vector<LPCITEMIDLIST> ItemContextMenu::Lists(std::vector<std::vector<BYTE>>* storage) const {
  std::vector<LPCITEMIDLIST> lists;
  for (const ItemId& item : items_) {
    std::vector<BYTE> bytes(sizeof item + 2, 0);  // the item and the list's 16-bit end
    std::memcpy(bytes.data(), &item, sizeof item);
    storage->push_back(std::move(bytes));
  }
  for (const auto& bytes : *storage) lists.push_back(reinterpret_cast<LPCITEMIDLIST>(bytes.data()));
  return lists;
}

STDMETHODIMP ItemContextMenu::QueryContextMenu(HMENU menu, UINT position, UINT first, UINT last,
                                               UINT flags) {
  if (verbs_) GlobalFree(verbs_);
  verbs_ = nullptr;
  verbCount_ = 0;
  const bool short_ = (flags & FilePullDown) != 0;
  UINT resource;
  UINT defaultCommand = 0;
  bool haveDefault = true;
  UINT highest = first;
  if (OneFolderItem()) {
    resource = short_ ? IDM_FOLDER_ITEM_SHORT : IDM_FOLDER_ITEM;
    defaultCommand = CMD_EXPLORE;
  } else {
    resource = short_ ? IDM_FILE_ITEMS_SHORT : IDM_FILE_ITEMS;
    HMENU verbMenu = nullptr;
    const int count = BuildVerbMenu(items_[0].path, &verbMenu, &verbs_);
    if (count > 0) {
      verbCount_ = static_cast<UINT>(count);
      // The fixed commands follow everything the merge put in, separators included.
      const int before = GetMenuItemCount(menu);
      if (before >= 0 && position > static_cast<UINT>(before)) position = static_cast<UINT>(before);
      highest = MergeMenus(menu, verbMenu, position, first, last, MergeAddSeparator);
      DestroyMenu(verbMenu);
      const int after = GetMenuItemCount(menu);
      if (after > before) position += static_cast<UINT>(after - before);
      haveDefault = false;  // the first verb carries the default state
    } else {
      defaultCommand = CMD_EXTRACT;
    }
  }
  const UINT merged = MergeMenuResource(menu, resource, position, first, last);
  if (merged == 0) return E_OUTOFMEMORY;
  if (merged > highest) highest = merged;
  if (haveDefault) SetMenuDefaultItem(menu, first + defaultCommand, FALSE);
  if (!ClipboardHasFileList())
    EnableMenuItem(menu, first + CMD_PASTE, MF_BYCOMMAND | MF_GRAYED);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, (highest - first) & 0xFFFF);
}

STDMETHODIMP ItemContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  UINT command = 0;
  if (!CommandOfInvocation(info, &command, verbs_, verbCount_)) {
    MessageBeep(MB_ICONEXCLAMATION);
    return E_INVALIDARG;
  }
  HWND owner = info->hwnd;
  if (command < verbCount_) {
    // A registry verb of the table built by the last QueryContextMenu.
    const auto* records = static_cast<const VerbRecord*>(GlobalLock(verbs_));
    if (!records) return E_FAIL;
    const std::string commandTemplate = records[command].command;
    GlobalUnlock(verbs_);
    return LaunchForUpdate(commandTemplate.c_str(), items_[0].path, folder_->archive) ? S_OK
                                                                                     : E_FAIL;
  }
  std::vector<std::vector<BYTE>> storage;
  switch (command) {
    case CMD_EXTRACT: {
      std::vector<LPCITEMIDLIST> lists = Lists(&storage);
      ExtractSelection(folder_->archive, folder_->innerPath, static_cast<UINT>(lists.size()),
                       lists.data(), owner);
      return S_OK;
    }
    case CMD_EXPLORE:
      return Browse(owner, (NewWindowMode() != 0) != ((GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0)
                               ? SBSP_NEWBROWSER
                               : SBSP_SAMEBROWSER);
    case CMD_EXPLORE_DEFAULT:
      return Browse(owner, SBSP_DEFBROWSER);
    case CMD_DELETE:
      return Delete(owner);
    case CMD_RENAME:
      return Rename();
    case CMD_PROPERTIES: {
      PropertyTarget target;
      target.folder = folder_;
      target.items = items_;
      ShowMemberProperties(owner, target);
      return S_OK;
    }
    case CMD_COPY:
      return Copy();
    case CMD_PASTE: {
      if (!OneFolderItem()) return E_INVALIDARG;
      const std::string target = JoinPath(items_[0].path, "");  // the folder's own key
      return PasteInto(owner, folder_, target.c_str()) ? S_OK : E_FAIL;
    }
    case CMD_SHORTCUT:
    case CMD_CUT:
      return S_OK;  // offered greyed: nothing to do
    default:
      return E_INVALIDARG;
  }
}

HRESULT ItemContextMenu::Browse(HWND owner, UINT flags) const {
  if (!OneFolderItem()) return E_INVALIDARG;
  auto* browser = reinterpret_cast<IShellBrowser*>(SendMessageA(owner, GetShellBrowserMessage, 0, 0));
  if (!browser) return E_FAIL;
  ItemIdList target;
  if (!target.Assign(folder_->absoluteIdList.Get()) ||
      !target.AppendItem(reinterpret_cast<LPCITEMIDLIST>(&items_[0])))
    return E_OUTOFMEMORY;
  return browser->BrowseObject(target.Get(), flags);
}

HRESULT ItemContextMenu::Delete(HWND owner) const {
  Archive* archive = folder_->archive;
  if (!archive) return E_FAIL;
  // Everything staged here, so a failed commit takes back exactly this command's changes.
  std::vector<std::string> staged;
  for (const ItemId& item : items_) {
    if (!IsFolderItem(item)) {
      if (MarkDeleted(*archive, item.path)) staged.emplace_back(item.path);
      continue;
    }
    // A folder and everything below it, grouped as the listing groups them (ignoring case).
    if (!archive->Lock(false)) continue;
    std::vector<std::string> below;
    const StringList& catalogue = archive->Catalogue();
    for (std::uint32_t i = 0; i < catalogue.Count(); ++i) {
      const char* key = nullptr;
      catalogue.Get(i, &key, nullptr, nullptr);
      if (IsBelowFolder(item.path, key)) below.emplace_back(key);
    }
    archive->Unlock();
    for (const std::string& key : below)
      if (MarkDeleted(*archive, key.c_str())) staged.push_back(key);
  }
  if (!Commit(*archive)) {
    for (const std::string& key : staged) Unstage(*archive, key.c_str());
    TellChangeNotWritten(owner, folder_->archivePath);
    return E_FAIL;
  }
  for (const ItemId& item : items_) {
    ItemIdList gone;
    if (gone.Assign(folder_->absoluteIdList.Get()) &&
        gone.AppendItem(reinterpret_cast<LPCITEMIDLIST>(&item)))
      SHChangeNotify(SHCNE_DELETE, SHCNF_IDLIST, gone.Get(), nullptr);
  }
  folder_->AnnounceChange();
  return S_OK;
}

HRESULT ItemContextMenu::Rename() const {
  HWND view = folder_->ViewWindow();
  HWND list = view ? GetWindow(view, GW_CHILD) : nullptr;
  if (!list) return E_FAIL;
  const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (selected < 0) return E_FAIL;
  ListView_EditLabel(list, selected);
  return S_OK;
}

HRESULT ItemContextMenu::Copy() const {
  std::vector<std::vector<BYTE>> storage;
  std::vector<LPCITEMIDLIST> lists = Lists(&storage);
  IDataObject* data = nullptr;
  HRESULT made = ArchiveDataObject::Create(folder_, static_cast<UINT>(lists.size()), lists.data(),
                                           ArchiveDataObject::ClipboardMode, IID_IDataObject,
                                           reinterpret_cast<void**>(&data));
  if (made != S_OK) return made;
  HRESULT placed = OleSetClipboard(data);
  data->Release();
  return placed;
}

STDMETHODIMP ItemContextMenu::GetCommandString(UINT_PTR command, UINT kind, UINT*, LPSTR buffer,
                                               UINT size) {
  const UINT id = static_cast<UINT>(command);
  const UINT plain = kind & ~GCS_UNICODE;
  const bool known = id < verbCount_ || (id >= CMD_EXTRACT && id <= CMD_EXPLORE_DEFAULT) ||
                     (id >= CMD_SHORTCUT && id <= CMD_PASTE && id != CMD_NEW_COMPRESSION);
  if (!known) return E_INVALIDARG;
  if (plain == GCS_VALIDATEA) return S_OK;
  if (plain == GCS_VERBA) {
    const char* verb = VerbOfCommand(id);
    if (id < verbCount_) {
      const auto* records = static_cast<const VerbRecord*>(GlobalLock(verbs_));
      if (records) {
        CopyCommandText(records[id].verb, kind, buffer, size);
        GlobalUnlock(verbs_);
      }
      return S_OK;
    }
    if (!verb) return E_INVALIDARG;
    CopyCommandText(verb, kind, buffer, size);
    return S_OK;
  }
  if (plain != GCS_HELPTEXTA) return S_OK;
  if (id < verbCount_) {
    const auto* records = static_cast<const VerbRecord*>(GlobalLock(verbs_));
    if (records) {
      CopyCommandText(HelpOfCaption(records[id].caption).c_str(), kind, buffer, size);
      GlobalUnlock(verbs_);
    }
    return S_OK;
  }
  char text[256];
  LoadLibraryString(id, text, sizeof text);
  CopyCommandText(text, kind, buffer, size);
  return S_OK;
}
