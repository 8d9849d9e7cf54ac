// The page of the selected members: with one member its name, type, place, size, times, method,
// header level and attributes (dialog 500); with several their counts, common type, total size,
// compression ratio and attributes (dialog 501). Applying it writes the changes of this page and
// of the comment page as header-only changes in one commit.
//
// Only what differs from the archive as it is now is staged: an item whose attributes, level and
// comment stay what its header holds is not touched, and a page with nothing to stage commits
// nothing (a rewritten header would drop extension data the reader does not keep). Each item is
// looked up afresh when the page applies, so an item another window deleted meanwhile is skipped
// rather than staged from what the page saw earlier.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/EntryEnumerator.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "archive/SizeText.h"
#include "commands/PropertyPages.h"
#include "commands/PropertySheets.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "namespace/Settings.h"

namespace {

constexpr int BoxCount = sizeof AttributeBoxes / sizeof AttributeBoxes[0];

struct MemberPageState {
  PropertyTarget* target = nullptr;
  HICON icon = nullptr;  // the single member's icon from the shell; destroyed with the page
  int initialLevel = -1;
  LRESULT initialBoxes[BoxCount] = {};
  bool ready = false;  // false while the page fills its controls
};

struct SnapshotRelease {
  void operator()(EntryEnumerator* snapshot) const { snapshot->Release(); }
};
using Snapshot = std::unique_ptr<EntryEnumerator, SnapshotRelease>;

// The item as the page shows it: without a snapshot (the catalogue could not be read) the item's
// own flag decides.
ItemHeader ShownHeader(EntryEnumerator* snapshot, const ItemId& item) {
  if (snapshot) {
    ArchiveEntry entry;
    return FindItemHeader(*snapshot, item, &entry);
  }
  if (item.isSynthetic == 0) return ItemHeader::Own;
  return item.isSynthetic == 1 ? ItemHeader::Borrowed : ItemHeader::Unknown;
}

bool HasOwnHeader(ItemHeader header) {
  return header == ItemHeader::Own || header == ItemHeader::Gone;
}

LRESULT SendItem(HWND page, int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendDlgItemMessageA(page, control, message, wParam, lParam);
}

void AddComboString(HWND page, int control, UINT id) {
  char text[64];
  LoadLibraryString(id, text, sizeof text);
  SendItem(page, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void MakeIndeterminate(HWND page, int control) {
  SendItem(page, control, BM_SETSTYLE, BS_AUTO3STATE, TRUE);
  SendItem(page, control, BM_SETCHECK, BST_INDETERMINATE);
}

int ClampLevel(int level) { return level < 0 || level > 3 ? 2 : level; }

void InitOneItem(HWND page, MemberPageState& state, EntryEnumerator* snapshot) {
  const PropertyTarget& target = *state.target;
  const ItemId& item = target.items[0];
  char type[80];
  state.icon = ItemIconAndType(item, type, sizeof type);
  ShowPageIcon(page, state.icon);
  ShowMemberText(page, IDC_PAGE_NAME, PathNamePart(item.path));
  char location[MaxPath];
  FolderLocation(*target.folder, location);
  SetDlgItemTextA(page, IDC_PAGE_LOCATION, location);
  LibrarySizePatterns patterns;
  char size[128];
  SizeText(size, sizeof size, item.originalSize, true, patterns.patterns);
  SetDlgItemTextA(page, IDC_PAGE_SIZE, size);

  for (UINT i = 0; i < 4; ++i) AddComboString(page, IDC_HEADER_LEVEL, IDS_LEVEL_NAME_0 + i);
  if (IsFolderItem(item)) {
    // The system's folder type name, or the shell's name for a folder when the system has none.
    SetDlgItemTextA(page, IDC_PAGE_TYPE, FolderTypeName[0] ? FolderTypeName : type);
    AddComboString(page, IDC_METHOD, IDS_METHOD_NAME_FOLDER);
    SendItem(page, IDC_METHOD, CB_SETCURSEL, 0);
  } else {
    SetDlgItemTextA(page, IDC_PAGE_TYPE, type);
    for (UINT i = 0; i < 8; ++i) AddComboString(page, IDC_METHOD, IDS_METHOD_NAME_0 + i);
    int digit = item.method[3] - '0';
    if (digit >= 0 && digit <= 7) SendItem(page, IDC_METHOD, CB_SETCURSEL, digit);
  }
  // The method only informs: changing it would mean compressing the member again.
  EnableWindow(GetDlgItem(page, IDC_METHOD), FALSE);

  if (!HasOwnHeader(ShownHeader(snapshot, item))) {
    // No header of its own: no times to show, and applying makes a header with the chosen level.
    SendItem(page, IDC_HEADER_LEVEL, CB_SETCURSEL, ClampLevel(HeaderLevel()));
    for (const AttributeBox& box : AttributeBoxes) MakeIndeterminate(page, box.control);
    return;
  }
  SendItem(page, IDC_HEADER_LEVEL, CB_SETCURSEL, ClampLevel(item.headerLevel));
  char time[160];
  MemberTimeText(item.createTime, time, sizeof time);
  SetDlgItemTextA(page, IDC_PAGE_CREATED, time);
  MemberTimeText(item.modifyTime, time, sizeof time);
  SetDlgItemTextA(page, IDC_PAGE_MODIFIED, time);
  MemberTimeText(item.accessTime, time, sizeof time);
  SetDlgItemTextA(page, IDC_PAGE_ACCESSED, time);
  for (const AttributeBox& box : AttributeBoxes)
    CheckDlgButton(page, box.control, (item.attributes & box.bit) ? BST_CHECKED : BST_UNCHECKED);
}

void InitSeveralItems(HWND page, MemberPageState& state, EntryEnumerator* snapshot) {
  const PropertyTarget& target = *state.target;
  ShowPageIcon(page, LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_MANY_ITEMS)));
  int files = 0;
  int folders = 0;
  bool sameType = true;
  char firstType[80] = "";
  // Many members pass 4 GiB together, so the totals are 64-bit.
  std::uint64_t original = 0;
  std::uint64_t packed = 0;
  std::uint16_t differing = 0;
  const ItemId& first = target.items[0];
  for (std::size_t i = 0; i < target.items.size(); ++i) {
    const ItemId& item = target.items[i];
    if (IsFolderItem(item)) ++folders;
    else ++files;
    if (sameType) {
      SHFILEINFOA info = {};
      SHGetFileInfoA(item.path, item.attributes, &info, sizeof info,
                     SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
      if (i == 0) CopyCut(firstType, sizeof firstType, info.szTypeName, sizeof info.szTypeName);
      else sameType = lstrcmpA(firstType, info.szTypeName) == 0;
    }
    original += item.originalSize;
    packed += static_cast<std::uint32_t>(item.packedSize);
    if (HasOwnHeader(ShownHeader(snapshot, item))) differing |= item.attributes ^ first.attributes;
  }

  char pattern[64];
  char text[MaxPath + 128];
  if (sameType) {
    LoadLibraryString(IDS_ALL_OF_TYPE, text, 64);
    lstrcatA(text, firstType);
  } else {
    LoadLibraryString(IDS_MIXED_TYPES, text, sizeof text);
  }
  SetDlgItemTextA(page, IDC_PAGE_TYPE, text);
  LoadLibraryString(IDS_FILE_FOLDER_COUNT, pattern, sizeof pattern);
  wsprintfA(text, pattern, files, folders);
  SetDlgItemTextA(page, IDC_PAGE_NAME, text);
  char location[MaxPath];
  FolderLocation(*target.folder, location);
  LoadLibraryString(IDS_ALL_PREFIX, text, 64);
  lstrcatA(text, location);
  SetDlgItemTextA(page, IDC_PAGE_LOCATION, text);
  TotalSizeText(original, text, sizeof text);
  SetDlgItemTextA(page, IDC_PAGE_SIZE, text);
  if (original != 0) {
    char ratio[32];
    DecimalText(packed * 100 / original, false, ratio, sizeof ratio);
    wsprintfA(text, "%s %%", ratio);
    SetDlgItemTextA(page, IDC_PAGE_RATIO, text);
  }
  for (const AttributeBox& box : AttributeBoxes) {
    if (differing & box.bit) MakeIndeterminate(page, box.control);
    else CheckDlgButton(page, box.control, (first.attributes & box.bit) ? BST_CHECKED : BST_UNCHECKED);
  }
}

// The level-0 question about a comment: IDYES, IDNO or IDCANCEL.
int AskAboutComment(HWND page) {
  char text[256];
  char caption[64];
  LoadLibraryString(IDS_LEVEL0_COMMENT, text, sizeof text);
  LoadLibraryString(IDS_LEVEL0_COMMENT_TITLE, caption, sizeof caption);
  return MessageBoxA(page, text, caption, MB_YESNOCANCEL | MB_ICONQUESTION);
}

struct Change {
  std::size_t item;
  char key[MaxPath + 1];
  ArchiveEntry entry;
};

// True when the header of `entry` can be written at its level (a level-0 header holds a path of
// at most 233 bytes).
bool FitsItsLevel(const ArchiveEntry& entry) {
  std::uint8_t buffer[lzh::HeaderBufferSize];
  return WriteHeader(entry, buffer) != 0;
}

// A folder entry that gives a folder without a header of its own one. False when its path does
// not fit a header's folder field.
bool MakeFolderEntry(const ItemId& item, const char* key, std::uint16_t attributes, int level,
                     const char* comment, ArchiveEntry* entry) {
  if (std::strlen(key) > EntryFieldMax) return false;
  std::memset(entry, 0, sizeof *entry);
  std::memcpy(entry, &item.createTime, EntryBlockSize);
  std::memcpy(entry->method, lzh::FolderMethod, sizeof entry->method);
  CopyCut(entry->directory, sizeof entry->directory, key, EntryFieldMax);
  entry->crc = 0;
  entry->packedSize = 0;
  entry->originalSize = 0;
  entry->osId = IsWindows95 ? 'w' : IsWindowsNT ? 'W' : 'M';
  entry->attributes = attributes;
  entry->headerLevel = static_cast<std::uint8_t>(level);
  CopyCut(entry->comment, sizeof entry->comment, comment, CommentMax);
  return true;
}

LONG_PTR Apply(HWND page, MemberPageState& state) {
  PropertyTarget& target = *state.target;
  ArchiveFolder& folder = *target.folder;
  if (!folder.archive) return PSNRET_NOERROR;
  HWND sheet = GetParent(page);
  const bool single = target.items.size() == 1;
  Snapshot snapshot(folder.archive->EnumEntries());
  if (!snapshot) {
    TellUser(page, IDS_PAGE_COMMIT_FAILED, folder.archivePath);
    return PSNRET_INVALID_NOCHANGEPAGE;
  }

  int level = ClampLevel(HeaderLevel());
  char comment[CommentBufferSize] = "";
  bool haveComment = false;
  // What the user changed is measured against what the page showed; anything left as shown
  // keeps what the header holds now (another window may have changed it meanwhile).
  bool edited = false;
  if (single) {
    level = ClampLevel(static_cast<int>(SendItem(page, IDC_HEADER_LEVEL, CB_GETCURSEL)));
    edited = level != state.initialLevel;
    const LRESULT answer = SendMessageA(sheet, PSM_QUERYSIBLINGS, QueryComment,
                                        reinterpret_cast<LPARAM>(comment));
    if (answer == CommentTooLong) {
      TellUser(page, IDS_COMMENT_TOO_LONG, PathNamePart(target.items[0].path));
      return PSNRET_INVALID;
    }
    haveComment = answer != 0;
    comment[CommentMax] = '\0';
    ArchiveEntry entry;
    const bool own = FindItemHeader(*snapshot, target.items[0], &entry) == ItemHeader::Own;
    if (own && !edited) level = ClampLevel(entry.headerLevel);
    if (!haveComment && level == 0 && own && entry.headerLevel != 0) {
      // The comment page was never shown: the stored comment would be lost silently.
      CopyCut(comment, sizeof comment, entry.comment, CommentMax);
      haveComment = true;
    }
    if (haveComment && comment[0] && level == 0) {
      switch (AskAboutComment(page)) {
        case IDCANCEL:
          return PSNRET_INVALID;
        case IDYES:
          level = 1;
          edited = true;
          SendItem(page, IDC_HEADER_LEVEL, CB_SETCURSEL, 1);
          break;
        default:
          comment[0] = '\0';
          SendMessageA(sheet, PSM_QUERYSIBLINGS, ClearComment, 0);
          break;
      }
    }
  }

  // A box the user checked sets its bit, one the user cleared clears it; a box left as shown or
  // indeterminate keeps each item's own bit, and so do the bits the page does not show.
  std::uint16_t setBits = 0;
  std::uint16_t keptBits = static_cast<std::uint16_t>(~AttributeBoxBits);
  for (int i = 0; i < BoxCount; ++i) {
    LRESULT check = SendItem(page, AttributeBoxes[i].control, BM_GETCHECK);
    if (check == state.initialBoxes[i] || check == BST_INDETERMINATE)
      keptBits |= AttributeBoxes[i].bit;
    else if (check == BST_CHECKED)
      setBits |= AttributeBoxes[i].bit;
    edited = edited || check != state.initialBoxes[i];
  }
  edited = edited || (haveComment && comment[0]);

  std::vector<Change> changes;
  for (std::size_t i = 0; i < target.items.size(); ++i) {
    const ItemId& item = target.items[i];
    Change change;
    change.item = i;
    ItemKey(item, change.key);
    ArchiveEntry& entry = change.entry;
    switch (FindItemHeader(*snapshot, item, &entry)) {
      case ItemHeader::Own: {
        auto attributes = static_cast<std::uint16_t>((entry.attributes & keptBits) | setBits);
        bool differs = attributes != entry.attributes;
        if (single) differs = differs || entry.headerLevel != level;
        if (haveComment) differs = differs || std::strncmp(comment, entry.comment, CommentMax) != 0;
        if (!differs) continue;
        entry.attributes = attributes;
        if (single) entry.headerLevel = static_cast<std::uint8_t>(level);
        if (haveComment) CopyCut(entry.comment, sizeof entry.comment, comment, CommentMax);
        break;
      }
      case ItemHeader::Borrowed: {
        // A header is made only when the user set something on the page for it.
        if (!edited) continue;
        auto attributes = static_cast<std::uint16_t>((item.attributes & keptBits) | setBits);
        if (!MakeFolderEntry(item, change.key, attributes, level, haveComment ? comment : "",
                             &entry))
          continue;
        break;
      }
      default:
        continue;
    }
    changes.push_back(change);
  }
  snapshot.reset();
  if (changes.empty()) return PSNRET_NOERROR;

  for (const Change& change : changes) {
    if (!FitsItsLevel(change.entry)) {
      TellUser(page, IDS_PAGE_LEVEL0_TOO_LONG, target.items[change.item].path);
      return PSNRET_INVALID_NOCHANGEPAGE;
    }
  }
  Archive& archive = *folder.archive;
  std::size_t staged = 0;
  while (staged < changes.size() &&
         StageEntry(archive, changes[staged].key, changes[staged].entry))
    ++staged;
  bool written = staged == changes.size() && Commit(archive);
  if (!written) {
    // Nothing of this page may ride along with a later commit of another command.
    for (std::size_t i = 0; i < staged; ++i) Unstage(archive, changes[i].key);
    TellUser(page, IDS_PAGE_COMMIT_FAILED, folder.archivePath);
    return PSNRET_INVALID_NOCHANGEPAGE;
  }

  for (const Change& change : changes) {
    ItemIdList itemList;
    itemList.Assign(folder.absoluteIdList.Get());
    if (itemList.AppendItem(reinterpret_cast<LPCITEMIDLIST>(&target.items[change.item])))
      SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_IDLIST, itemList.Get(), nullptr);
  }
  folder.AnnounceChange();
  return PSNRET_NOERROR;
}

}  // namespace

INT_PTR CALLBACK MemberPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  MemberPageState* state = PageState<MemberPageState>(page);
  switch (message) {
    case WM_INITDIALOG: {
      PropertyTarget* target = TargetOfPage(lParam);
      if (!target || !target->folder || target->items.empty()) return TRUE;
      state = new (std::nothrow) MemberPageState;
      if (!state) return TRUE;
      state->target = target;
      AttachPageState(page, state);
      Snapshot snapshot(target->folder->archive ? target->folder->archive->EnumEntries()
                                                : nullptr);
      if (target->items.size() == 1) InitOneItem(page, *state, snapshot.get());
      else InitSeveralItems(page, *state, snapshot.get());
      state->initialLevel = static_cast<int>(SendItem(page, IDC_HEADER_LEVEL, CB_GETCURSEL));
      for (int i = 0; i < BoxCount; ++i)
        state->initialBoxes[i] = SendItem(page, AttributeBoxes[i].control, BM_GETCHECK);
      state->ready = true;
      return TRUE;
    }
    case WM_COMMAND: {
      int code = HIWORD(wParam);
      int control = LOWORD(wParam);
      bool box = code == BN_CLICKED && control >= IDC_PAGE_READ_ONLY && control <= IDC_PAGE_SYSTEM;
      bool level = code == CBN_SELCHANGE && (control == IDC_HEADER_LEVEL || control == IDC_METHOD);
      if (state && state->ready && (box || level))
        SendMessageA(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
      return FALSE;
    }
    case PSM_QUERYSIBLINGS:
      if (wParam == QueryHeaderLevel && state && state->target->items.size() == 1 && lParam) {
        *reinterpret_cast<std::int32_t*>(lParam) =
            static_cast<std::int32_t>(SendItem(page, IDC_HEADER_LEVEL, CB_GETCURSEL));
        return PageResult(page, 1);
      }
      return FALSE;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY)
        return PageResult(page, state ? Apply(page, *state) : PSNRET_NOERROR);
      return FALSE;
    case WM_DESTROY:
      DestroyPageState(page, state);
      return FALSE;
  }
  return FALSE;
}
