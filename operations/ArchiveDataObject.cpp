#include "operations/ArchiveDataObject.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "archive/Archive.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/TargetPath.h"
#include "archive/TimeConversion.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ItemIdList.h"
#include "namespace/ModuleState.h"
#include "namespace/WideName.h"
#include "operations/FormatEnumerator.h"
#include "operations/TempCopy.h"
#include "platform/Platform.h"

namespace {

constexpr DWORD DescriptorFlags = 0x7E;  // size point, attributes, the three times, file size
constexpr DWORD MediumKinds = TYMED_HGLOBAL | TYMED_ISTREAM;

FORMATETC Offered(UINT format) {
  return FORMATETC{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, MediumKinds};
}

// A new global block of `size` bytes, zero-filled; null when memory is short.
HGLOBAL NewBlock(SIZE_T size) { return GlobalAlloc(GMEM_DDESHARE | GMEM_MOVEABLE | GMEM_ZEROINIT, size); }

template <typename Fill>
HRESULT FillBlock(SIZE_T size, HGLOBAL* block, Fill fill) {
  *block = NewBlock(size);
  if (!*block) return E_OUTOFMEMORY;
  void* memory = GlobalLock(*block);
  if (!memory) {
    GlobalFree(*block);
    *block = nullptr;
    return E_OUTOFMEMORY;
  }
  fill(static_cast<std::uint8_t*>(memory));
  GlobalUnlock(*block);
  return S_OK;
}

FILETIME ToFileTime(std::uint32_t seconds) {
  platform::FileTime time;
  UnixToFileTime(seconds, &time);
  return FILETIME{time.low, time.high};
}

template <typename Descriptor>
void Describe(const ItemId& item, Descriptor* out) {
  out->dwFlags = DescriptorFlags;
  out->sizel.cx = out->sizel.cy = 32;
  out->pointl.x = 46;
  out->pointl.y = 300;
  out->dwFileAttributes = item.attributes;
  out->ftCreationTime = ToFileTime(item.createTime);
  out->ftLastAccessTime = ToFileTime(item.accessTime);
  out->ftLastWriteTime = ToFileTime(item.modifyTime);
  out->nFileSizeHigh = 0;
  out->nFileSizeLow = item.originalSize;
}

}  // namespace

const InterfaceEntry* ArchiveDataObject::InterfaceTable() {
  static const InterfaceEntry table[] = {
      Offer<ArchiveDataObject, IDataObject>(IID_IDataObject),
      Offer<ArchiveDataObject, IExternalConnection>(IID_IExternalConnection), EndOfInterfaces()};
  return table;
}

HRESULT ArchiveDataObject::Create(ArchiveFolder* folder, UINT count, LPCITEMIDLIST* items,
                                  DWORD mode, REFIID iid, void** out, unsigned threads) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!folder || count == 0 || !items) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i)
    if (!AsItemId(items[i])) return E_INVALIDARG;
  auto* object = new (std::nothrow) ArchiveDataObject(folder, mode);
  if (!object) return E_OUTOFMEMORY;
  object->threads_ = threads;
  object->AddRef();
  try {
    object->CollectItems(count, items);
  } catch (const std::bad_alloc&) {
    object->Release();
    return E_OUTOFMEMORY;
  }
  HRESULT result = object->QueryInterface(iid, out);
  object->Release();
  return result;
}

ArchiveDataObject::ArchiveDataObject(ArchiveFolder* folder, DWORD mode)
    : mode_(mode), archivePath_(folder->archivePath), innerLength_(std::strlen(folder->innerPath)) {}

ArchiveDataObject::~ArchiveDataObject() = default;

Archive* ArchiveDataObject::Open(bool locked) const {
  auto* archive = new (std::nothrow) Archive();
  if (!archive) return nullptr;
  archive->Retain();
  if (archive->OpenFile(archivePath_.c_str()) != ResultOk || (locked && !archive->Lock(true))) {
    archive->Release();
    return nullptr;
  }
  return archive;
}

void ArchiveDataObject::Done(Archive* archive) {
  archive->Unlock();
  archive->Release();  // closes the file
}

void ArchiveDataObject::CollectItems(UINT count, LPCITEMIDLIST* items) {
  Archive* archive = Open(true);
  if (!archive) return;
  // Selected folders by path (no case); each member finds the one above it, if any, by walking
  // up its own folders, so the walk is linear in the catalogue whatever the selection.
  struct NoCaseHash {
    std::size_t operator()(const std::string& key) const {
      return static_cast<std::size_t>(HashKeyNoCase(key.c_str()));
    }
  };
  struct NoCaseEqual {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareNoCase(a.c_str(), b.c_str()) == 0;
    }
  };
  std::unordered_map<std::string, std::size_t, NoCaseHash, NoCaseEqual> selected, made;
  std::vector<std::vector<Transfer>> groups(count);
  for (UINT i = 0; i < count; ++i) {
    Transfer transfer;
    transfer.item = *AsItemId(items[i]);
    transfer.top = true;
    if (!IsSafeMemberPath(RelativePath(transfer.item))) continue;
    if (IsFolderItem(transfer.item)) {
      selected.emplace(transfer.item.path, i);
      made.emplace(transfer.item.path, 0);
    } else {
      // The member as the catalogue holds it now, at the place it is addressed by from here on.
      transfer.index = archive->FindMember(transfer.item.path);
      ArchiveEntry record;
      if (transfer.index < 0 || !archive->GetMemberFixed(std::uint32_t(transfer.index), &record))
        continue;
      std::memcpy(reinterpret_cast<char*>(&transfer.item) + ItemEntryBlockOffset, &record,
                  EntryBlockSize);
    }
    groups[i].push_back(transfer);
  }
  if (!selected.empty()) {
    const StringList& keys = archive->Catalogue();
    ItemBuilder builder;
    std::vector<std::string> between;  // the folders from the selected one down to the member
    for (std::uint32_t m = 0; m < keys.Count(); ++m) {
      const char* key = nullptr;
      keys.Get(m, &key, nullptr, nullptr);
      between.clear();
      std::size_t group = count;
      for (std::size_t length = PathFolderLength(key); length > 1;) {
        std::string folder(key, length - 1);
        auto hit = selected.find(folder);
        if (hit != selected.end()) {
          group = hit->second;
          break;
        }
        length = PathFolderLength(folder.c_str());
        between.push_back(std::move(folder));
      }
      if (group == count) continue;
      ArchiveEntry& record = builder.Entry();
      if (!archive->GetMember(m, &record) || !builder.Build(&record)) continue;
      const ItemId& built = builder.Item();
      if (!IsSafeMemberPath(RelativePath(built))) continue;
      std::vector<Transfer>& list = groups[group];
      // Folders the listing derives from member paths, outermost first, with the times of the
      // first member found in them until a folder entry of their own says otherwise.
      for (auto folder = between.rbegin(); folder != between.rend(); ++folder) {
        if (made.count(*folder)) continue;
        made.emplace(*folder, list.size());
        Transfer derived;
        derived.item = built;
        derived.item.attributes = FolderAttribute;
        derived.item.originalSize = 0;
        lstrcpynA(derived.item.path, folder->c_str(), sizeof derived.item.path);
        list.push_back(derived);
      }
      if (IsFolderItem(built)) {
        auto known = made.find(built.path);
        if (known == made.end()) {
          made.emplace(built.path, list.size());
          Transfer entry;
          entry.item = built;
          list.push_back(entry);
        } else if (!selected.count(built.path)) {
          list[known->second].item = built;
        }
        continue;
      }
      if (!record.name[0]) continue;
      Transfer member;
      member.item = built;
      member.index = static_cast<std::int32_t>(m);
      list.push_back(member);
    }
  }
  Done(archive);
  for (std::vector<Transfer>& group : groups)
    for (Transfer& transfer : group) {
      if (!IsFolderItem(transfer.item)) {
        singleFile_ = items_.size();
        ++fileCount_;
      }
      items_.push_back(std::move(transfer));
    }
}

bool ArchiveDataObject::EnsureCopies() {
  if (copiesTried_) return !paths_.empty();
  copiesTried_ = true;
  char folder[MAX_PATH];
  if (!MakeTempFolder(folder)) return false;
  tempFolder_ = folder;
  // Removed when the library unloads, after everything written into it (the list is emptied
  // from its end).
  AddTempFile(folder);
  // Folders first, in item order (a folder always comes before what is inside it); then the
  // members in file order.
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    Transfer& transfer = items_[i];
    char target[MAX_PATH];
    if (!MakeTargetPath(folder, RelativePath(transfer.item), target, sizeof target)) continue;
    if (!IsFolderItem(transfer.item)) {
      transfer.copy = target;
      members.push_back(i);
    } else if (CreateDirectoryA(target, nullptr)) {
      transfer.copy = target;
      AddTempFile(target);
    }
  }
  std::sort(members.begin(), members.end(),
            [&](std::size_t a, std::size_t b) { return items_[a].index < items_[b].index; });
  std::vector<ListedCopy> copies(members.size());
  for (std::size_t m = 0; m < members.size(); ++m) {
    const Transfer& transfer = items_[members[m]];
    copies[m].index = std::uint32_t(transfer.index);
    copies[m].listed = reinterpret_cast<const char*>(&transfer.item) + ItemEntryBlockOffset;
    copies[m].target = transfer.copy.c_str();
  }
  // Not locked across the copy: the workers decoding ahead take the lock member by member, and
  // each member is checked at its place as it is read.
  if (Archive* archive = members.empty() ? nullptr : Open(false)) {
    WriteListedCopies(*archive, copies, threads_);
    archive->Release();  // closes the file
  }
  for (std::size_t m = 0; m < members.size(); ++m) {
    Transfer& transfer = items_[members[m]];
    if (copies[m].written) AddTempFile(transfer.copy.c_str());
    else transfer.copy.clear();
  }
  for (const Transfer& transfer : items_)
    if (transfer.top && !transfer.copy.empty()) paths_.push_back(transfer.copy);
  return !paths_.empty();
}

const char* ArchiveDataObject::RelativePath(const ItemId& item) const {
  return std::strlen(item.path) > innerLength_ ? item.path + innerLength_ : item.path;
}

std::vector<FORMATETC> ArchiveDataObject::OfferedFormats() const {
  std::vector<FORMATETC> formats;
  if (items_.empty()) return formats;
  formats.push_back(Offered(ClipboardFormats.fileContents));
  formats.push_back(Offered(ClipboardFormats.fileGroupDescriptor));
  formats.push_back(Offered(ClipboardFormats.fileNameMap));
  formats.push_back(Offered(CF_HDROP));
  if (fileCount_ == 1) formats.push_back(Offered(ClipboardFormats.fileName));
  if (mode_ == DragMode) formats.push_back(Offered(ClipboardFormats.shellIdListArray));
  return formats;
}

HRESULT ArchiveDataObject::CheckFormat(const FORMATETC& format) const {
  if (format.dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!(format.tymed & MediumKinds)) return DV_E_TYMED;
  const UINT cf = format.cfFormat;
  const ClipboardFormatIds& ids = ClipboardFormats;
  const bool known = cf == ids.fileContents || cf == ids.fileGroupDescriptor ||
                     cf == ids.fileGroupDescriptorW || cf == ids.fileNameMap ||
                     cf == ids.fileNameMapW || cf == CF_HDROP || cf == ids.fileName ||
                     cf == ids.fileNameW || (cf == ids.shellIdListArray && mode_ == DragMode);
  // Without a single item there is nothing any format could carry.
  if (!known || cf == 0 || items_.empty()) return DV_E_FORMATETC;
  if ((cf == ids.fileName || cf == ids.fileNameW) && fileCount_ != 1) return DV_E_FORMATETC;
  if (cf == ids.fileContents &&
      (format.lindex < -1 || (format.lindex >= 0 && static_cast<std::size_t>(format.lindex) >=
                                                        items_.size())))
    return DV_E_LINDEX;
  return S_OK;
}

STDMETHODIMP ArchiveDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium) return E_INVALIDARG;
  std::memset(medium, 0, sizeof *medium);
  HRESULT check = CheckFormat(*format);
  if (check != S_OK) return check;
  HGLOBAL block = nullptr;
  HRESULT result = Render(*format, &block);
  if (result != S_OK) return result;
  // No pUnkForRelease: the receiver's ReleaseStgMedium frees the block (or the stream over it).
  if (format->tymed & TYMED_HGLOBAL) {
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
    GlobalFree(block);
    return E_OUTOFMEMORY;
  }
  medium->tymed = TYMED_ISTREAM;
  medium->pstm = stream;
  return S_OK;
}

HRESULT ArchiveDataObject::Render(const FORMATETC& format, HGLOBAL* block) {
  const UINT cf = format.cfFormat;
  const ClipboardFormatIds& ids = ClipboardFormats;
  // The name maps name the drop list's files, so they wait for the copies too.
  const bool needsFiles = cf == CF_HDROP || cf == ids.fileName || cf == ids.fileNameW ||
                          cf == ids.shellIdListArray || cf == ids.fileNameMap ||
                          cf == ids.fileNameMapW;
  if (needsFiles && !EnsureCopies()) return E_UNEXPECTED;
  if (cf == CF_HDROP) return RenderDropList(block);
  if (cf == ids.fileName || cf == ids.fileNameW) return RenderShortName(cf == ids.fileNameW, block);
  if (cf == ids.fileNameMap || cf == ids.fileNameMapW)
    return RenderNameMap(cf == ids.fileNameMapW, block);
  if (cf == ids.fileGroupDescriptor || cf == ids.fileGroupDescriptorW)
    return RenderDescriptors(cf == ids.fileGroupDescriptorW, block);
  if (cf == ids.fileContents) return RenderContents(format.lindex, block);
  return RenderIdListArray(block);
}

HRESULT ArchiveDataObject::RenderDropList(HGLOBAL* block) const {
  SIZE_T size = sizeof(DROPFILES) + 1;
  for (const std::string& path : paths_) size += path.size() + 1;
  return FillBlock(size, block, [&](std::uint8_t* memory) {
    auto* header = reinterpret_cast<DROPFILES*>(memory);
    header->pFiles = sizeof(DROPFILES);
    char* at = reinterpret_cast<char*>(memory + sizeof(DROPFILES));
    for (const std::string& path : paths_) {
      std::memcpy(at, path.c_str(), path.size() + 1);
      at += path.size() + 1;
    }
    *at = '\0';
  });
}

HRESULT ArchiveDataObject::RenderShortName(bool wide, HGLOBAL* block) const {
  const std::string& copy = items_[singleFile_].copy;
  if (copy.empty()) return E_UNEXPECTED;
  char name[MAX_PATH] = "";
  DWORD length = GetShortPathNameA(copy.c_str(), name, sizeof name);
  if (length == 0 || length >= sizeof name) lstrcpynA(name, copy.c_str(), sizeof name);
  if (!wide) return FillBlock(MAX_PATH, block, [&](std::uint8_t* m) { std::memcpy(m, name, sizeof name); });
  return FillBlock(MAX_PATH * sizeof(WCHAR), block, [&](std::uint8_t* m) {
    NameToWide(name, reinterpret_cast<WCHAR*>(m), MAX_PATH);
  });
}

HRESULT ArchiveDataObject::RenderNameMap(bool wide, HGLOBAL* block) const {
  // One name for each file of the drop list: the top-level item's path below the folder the
  // selection came from.
  SIZE_T length = 1;
  for (const Transfer& transfer : items_)
    if (transfer.top && !transfer.copy.empty()) length += std::strlen(RelativePath(transfer.item)) + 1;
  if (!wide) {
    return FillBlock(length, block, [&](std::uint8_t* memory) {
      char* at = reinterpret_cast<char*>(memory);
      for (const Transfer& transfer : items_) {
        if (!transfer.top || transfer.copy.empty()) continue;
        const char* name = RelativePath(transfer.item);
        std::size_t n = std::strlen(name) + 1;
        std::memcpy(at, name, n);
        at += n;
      }
      *at = '\0';
    });
  }
  // A Shift-JIS byte string never needs more UTF-16 units than it has bytes.
  return FillBlock(length * sizeof(WCHAR), block, [&](std::uint8_t* memory) {
    WCHAR* at = reinterpret_cast<WCHAR*>(memory);
    for (const Transfer& transfer : items_) {
      if (!transfer.top || transfer.copy.empty()) continue;
      const char* name = RelativePath(transfer.item);
      const std::size_t room = std::strlen(name) + 1;
      at += NameToWide(name, at, room, MemberCodePage) ? lstrlenW(at) + 1 : 1;
    }
    *at = L'\0';
  });
}

HRESULT ArchiveDataObject::RenderDescriptors(bool wide, HGLOBAL* block) const {
  // Every folder and member of the selection with its path relative to the source folder, so
  // the receiver rebuilds the tree; "FileContents" takes the same indexes.
  const SIZE_T record = wide ? sizeof(FILEDESCRIPTORW) : sizeof(FILEDESCRIPTORA);
  return FillBlock(sizeof(UINT) + items_.size() * record, block, [&](std::uint8_t* memory) {
    *reinterpret_cast<UINT*>(memory) = static_cast<UINT>(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const ItemId& item = items_[i].item;
      const char* name = RelativePath(item);
      if (wide) {
        auto* d = reinterpret_cast<FILEDESCRIPTORW*>(memory + sizeof(UINT)) + i;
        Describe(item, d);
        NameToWide(name, d->cFileName, MAX_PATH, MemberCodePage);
      } else {
        auto* d = reinterpret_cast<FILEDESCRIPTORA*>(memory + sizeof(UINT)) + i;
        Describe(item, d);
        lstrcpynA(d->cFileName, name, MAX_PATH);
      }
    }
  });
}

HRESULT ArchiveDataObject::RenderContents(LONG index, HGLOBAL* block) const {
  // The members asked for, and where each goes in the block: item order, decoded in file order.
  std::vector<std::pair<const Transfer*, std::uint64_t>> parts;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (index >= 0 && i != static_cast<std::size_t>(index)) continue;
    if (IsFolderItem(items_[i].item)) {
      if (index >= 0) return E_UNEXPECTED;  // a folder has no contents
      continue;
    }
    parts.emplace_back(&items_[i], total);
    total += items_[i].item.originalSize;
  }
  if (total > static_cast<SIZE_T>(-1) / 2) return E_OUTOFMEMORY;
  std::sort(parts.begin(), parts.end(),
            [](const auto& a, const auto& b) { return a.first->index < b.first->index; });
  // Nothing to read (only empty members): an empty block, never an uninitialised byte.
  *block = GlobalAlloc(GMEM_DDESHARE | GMEM_MOVEABLE, static_cast<SIZE_T>(total));
  if (!*block) return E_OUTOFMEMORY;
  if (total == 0) return S_OK;
  auto* memory = static_cast<std::uint8_t*>(GlobalLock(*block));
  Archive* archive = memory ? Open(true) : nullptr;
  bool ok = archive != nullptr;
  ArchiveEntry expected;
  for (std::size_t p = 0; ok && p < parts.size(); ++p) {
    const Transfer& transfer = *parts[p].first;
    if (transfer.item.originalSize == 0) continue;
    std::memcpy(&expected, reinterpret_cast<const char*>(&transfer.item) + ItemEntryBlockOffset,
                EntryBlockSize);
    ok = DecodeListedMemberInto(*archive, std::uint32_t(transfer.index), expected,
                                memory + parts[p].second);
  }
  if (archive) Done(archive);
  if (memory) GlobalUnlock(*block);
  if (!ok) {
    GlobalFree(*block);
    *block = nullptr;
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT ArchiveDataObject::RenderIdListArray(HGLOBAL* block) const {
  IShellFolder* desktop = nullptr;
  if (SHGetDesktopFolder(&desktop) != S_OK || !desktop) return E_UNEXPECTED;
  auto parse = [&](const char* path) -> LPITEMIDLIST {
    WCHAR wide[MAX_PATH];
    if (!NameToWide(path, wide, MAX_PATH)) return nullptr;
    LPITEMIDLIST list = nullptr;
    return desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &list, nullptr) == S_OK
               ? list
               : nullptr;
  };
  // Layout: cidl, the n + 1 offsets, the parent list, then each child and its 16-bit end.
  std::vector<std::uint8_t> bytes(sizeof(UINT) * (paths_.size() + 2), 0);
  *reinterpret_cast<UINT*>(bytes.data()) = static_cast<UINT>(paths_.size());
  auto append = [&](std::size_t slot, LPCITEMIDLIST list, std::uint32_t size) {
    *reinterpret_cast<UINT*>(bytes.data() + sizeof(UINT) * (slot + 1)) =
        static_cast<UINT>(bytes.size());
    const auto* from = reinterpret_cast<const std::uint8_t*>(list);
    bytes.insert(bytes.end(), from, from + size);
  };
  HRESULT result = S_OK;
  LPITEMIDLIST parent = parse(tempFolder_.c_str());
  if (!parent) result = E_UNEXPECTED;
  if (result == S_OK) append(0, parent, ItemIdList::SizeOf(parent));
  for (std::size_t i = 0; result == S_OK && i < paths_.size(); ++i) {
    LPITEMIDLIST child = parse(paths_[i].c_str());
    if (!child) {
      result = E_UNEXPECTED;
      break;
    }
    ItemIdList holder(child);
    LPCITEMIDLIST last = holder.LastItem();
    // The last item with its own 16-bit end (an empty list is just the end).
    const std::uint32_t size = last->mkid.cb;
    append(i + 1, last, size);
    bytes.push_back(0);
    bytes.push_back(0);
    CoTaskMemFree(child);
  }
  if (parent) CoTaskMemFree(parent);
  desktop->Release();
  if (result != S_OK) return result;
  bytes.push_back(0);
  bytes.push_back(0);
  return FillBlock(bytes.size(), block,
                   [&](std::uint8_t* memory) { std::memcpy(memory, bytes.data(), bytes.size()); });
}

STDMETHODIMP ArchiveDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return DV_E_FORMATETC; }

STDMETHODIMP ArchiveDataObject::QueryGetData(FORMATETC* format) {
  return format && CheckFormat(*format) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP ArchiveDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }

STDMETHODIMP ArchiveDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP ArchiveDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (direction == DATADIR_SET) return E_NOTIMPL;
  if (direction != DATADIR_GET) return E_INVALIDARG;
  try {
    return FormatEnumerator::Create(OfferedFormats(), 0, out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ArchiveDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP ArchiveDataObject::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

STDMETHODIMP ArchiveDataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

STDMETHODIMP_(DWORD) ArchiveDataObject::AddConnection(DWORD, DWORD) { return ++connections_; }

STDMETHODIMP_(DWORD) ArchiveDataObject::ReleaseConnection(DWORD, DWORD, BOOL) {
  return connections_ > 0 ? --connections_ : 0;
}
