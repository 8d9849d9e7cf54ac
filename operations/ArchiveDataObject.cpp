#include "operations/ArchiveDataObject.h"

#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "archive/Archive.h"
#include "archive/MemberTable.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ItemIdList.h"
#include "namespace/ModuleState.h"
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
                                  DWORD mode, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!folder || count == 0 || !items) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i)
    if (!AsItemId(items[i])) return E_INVALIDARG;
  auto* object = new (std::nothrow) ArchiveDataObject(folder, mode);
  if (!object) return E_OUTOFMEMORY;
  object->AddRef();
  try {
    object->CollectItems(count, items);
    object->WriteCopies();
  } catch (const std::bad_alloc&) {
    object->Release();
    return E_OUTOFMEMORY;
  }
  HRESULT result = object->QueryInterface(iid, out);
  object->Release();
  return result;
}

ArchiveDataObject::ArchiveDataObject(ArchiveFolder* folder, DWORD mode)
    : mode_(mode), folder_(folder) {
  folder_->AddRef();
  innerLength_ = std::strlen(folder_->innerPath);
  archive_ = new (std::nothrow) Archive();
  if (archive_) {
    archive_->Retain();
    archive_->OpenFile(folder_->archivePath);
  }
}

ArchiveDataObject::~ArchiveDataObject() {
  if (archive_) archive_->Release();
  folder_->Release();
}

void ArchiveDataObject::CollectItems(UINT count, LPCITEMIDLIST* items) {
  // The catalogue as it stands, kept across the lock: a rescan replaces it rather than changes it.
  std::shared_ptr<const MemberTable> members;
  ItemBuilder builder;
  for (UINT i = 0; i < count; ++i) {
    const ItemId& item = *AsItemId(items[i]);
    if (!IsFolderItem(item)) {
      items_.push_back(item);
      continue;
    }
    if (!members && archive_ && archive_->Lock(false)) {
      members = archive_->Members();
      archive_->Unlock();
    }
    if (!members) continue;
    // A folder stands for every file member below it, grouped as the listing groups them. The
    // keys are compared first; only members below the folder are copied out whole.
    const StringList& keys = members->List();
    for (std::uint32_t m = 0; m < keys.Count(); ++m) {
      const char* key = nullptr;
      keys.Get(m, &key, nullptr, nullptr);
      if (!IsBelowFolder(item.path, key)) continue;
      ArchiveEntry& record = builder.Entry();
      if (!members->Get(m, &record) || (record.attributes & FolderAttribute) || !record.name[0])
        continue;
      ArchiveEntry copy = record;
      if (builder.Build(&copy)) items_.push_back(builder.Item());
    }
  }
}

void ArchiveDataObject::WriteCopies() {
  std::vector<ItemId> kept;
  for (ItemId& item : items_) {
    char path[MAX_PATH];
    ArchiveEntry entry;
    if (!archive_ || !WriteTempCopy(*archive_, item.path, &entry, path)) continue;
    AddTempFile(path);
    // The item describes the member as it was decoded.
    std::memcpy(reinterpret_cast<char*>(&item) + ItemEntryBlockOffset, &entry, EntryBlockSize);
    kept.push_back(item);
    paths_.emplace_back(path);
  }
  items_.swap(kept);
}

const char* ArchiveDataObject::RelativePath(const ItemId& item) const {
  return std::strlen(item.path) > innerLength_ ? item.path + innerLength_ : item.path;
}

bool ArchiveDataObject::MatchesItem(const ItemId& item, const ArchiveEntry& entry) const {
  return entry.originalSize == item.originalSize && entry.crc == item.crc &&
         entry.packedSize == item.packedSize;
}

std::vector<FORMATETC> ArchiveDataObject::OfferedFormats() const {
  std::vector<FORMATETC> formats;
  if (items_.empty()) return formats;
  formats.push_back(Offered(ClipboardFormats.fileContents));
  formats.push_back(Offered(ClipboardFormats.fileGroupDescriptor));
  formats.push_back(Offered(ClipboardFormats.fileNameMap));
  formats.push_back(Offered(CF_HDROP));
  if (items_.size() == 1) formats.push_back(Offered(ClipboardFormats.fileName));
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
  // Without a single copy there is nothing any format could carry.
  if (!known || cf == 0 || items_.empty()) return DV_E_FORMATETC;
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

HRESULT ArchiveDataObject::Render(const FORMATETC& format, HGLOBAL* block) const {
  const UINT cf = format.cfFormat;
  const ClipboardFormatIds& ids = ClipboardFormats;
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
  char name[MAX_PATH] = "";
  DWORD length = GetShortPathNameA(paths_[0].c_str(), name, sizeof name);
  if (length == 0 || length >= sizeof name) lstrcpynA(name, paths_[0].c_str(), sizeof name);
  if (!wide) return FillBlock(MAX_PATH, block, [&](std::uint8_t* m) { std::memcpy(m, name, sizeof name); });
  return FillBlock(MAX_PATH * sizeof(WCHAR), block, [&](std::uint8_t* m) {
    MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, name, -1, reinterpret_cast<WCHAR*>(m), MAX_PATH - 1);
  });
}

HRESULT ArchiveDataObject::RenderNameMap(bool wide, HGLOBAL* block) const {
  SIZE_T length = 1;
  for (const ItemId& item : items_) length += std::strlen(RelativePath(item)) + 1;
  if (!wide) {
    return FillBlock(length, block, [&](std::uint8_t* memory) {
      char* at = reinterpret_cast<char*>(memory);
      for (const ItemId& item : items_) {
        const char* name = RelativePath(item);
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
    for (const ItemId& item : items_) {
      const char* name = RelativePath(item);
      int n = MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, name, -1, at,
                                  static_cast<int>(std::strlen(name) + 1));
      at += n > 0 ? n : 1;
    }
    *at = L'\0';
  });
}

HRESULT ArchiveDataObject::RenderDescriptors(bool wide, HGLOBAL* block) const {
  const SIZE_T record = wide ? sizeof(FILEDESCRIPTORW) : sizeof(FILEDESCRIPTORA);
  return FillBlock(sizeof(UINT) + items_.size() * record, block, [&](std::uint8_t* memory) {
    *reinterpret_cast<UINT*>(memory) = static_cast<UINT>(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const char* name = PathNamePart(items_[i].path);
      if (wide) {
        auto* d = reinterpret_cast<FILEDESCRIPTORW*>(memory + sizeof(UINT)) + i;
        Describe(items_[i], d);
        MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, name, -1, d->cFileName, MAX_PATH - 1);
      } else {
        auto* d = reinterpret_cast<FILEDESCRIPTORA*>(memory + sizeof(UINT)) + i;
        Describe(items_[i], d);
        lstrcpynA(d->cFileName, name, MAX_PATH);
      }
    }
  });
}

HRESULT ArchiveDataObject::RenderContents(LONG index, HGLOBAL* block) const {
  if (!archive_) return E_UNEXPECTED;
  auto decode = [&](const ItemId& item, platform::MemoryBlock* out) {
    ArchiveEntry entry;
    if (archive_->DecodeMember(item.path, out, &entry) != 0) return false;
    // The member changed since the object was made: its bytes are not the item's any more.
    if (!MatchesItem(item, entry) || platform::BlockSize(*out) < item.originalSize) {
      platform::FreeBlock(*out);
      return false;
    }
    return true;
  };
  if (index >= 0) {
    platform::MemoryBlock decoded = platform::NoBlock;
    if (!decode(items_[static_cast<std::size_t>(index)], &decoded)) return E_UNEXPECTED;
    *block = reinterpret_cast<HGLOBAL>(decoded);
    return S_OK;
  }
  std::uint64_t total = 0;
  for (const ItemId& item : items_) total += item.originalSize;
  if (total > static_cast<SIZE_T>(-1) / 2) return E_OUTOFMEMORY;
  *block = GlobalAlloc(GMEM_DDESHARE | GMEM_MOVEABLE, static_cast<SIZE_T>(total ? total : 1));
  if (!*block) return E_OUTOFMEMORY;
  auto* memory = static_cast<std::uint8_t*>(GlobalLock(*block));
  bool ok = memory != nullptr;
  std::uint64_t at = 0;
  for (const ItemId& item : items_) {
    platform::MemoryBlock decoded = platform::NoBlock;
    if (!ok || !decode(item, &decoded)) {
      ok = false;
      break;
    }
    if (item.originalSize != 0) {
      std::memcpy(memory + at, platform::LockBlock(decoded), item.originalSize);
      platform::UnlockBlock(decoded);
    }
    platform::FreeBlock(decoded);
    at += item.originalSize;
  }
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
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)) return nullptr;
    LPITEMIDLIST list = nullptr;
    return desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &list, nullptr) == S_OK
               ? list
               : nullptr;
  };
  // Layout: cidl, the n + 1 offsets, the parent list, then each child and its 16-bit end.
  std::vector<std::uint8_t> bytes(sizeof(UINT) * (items_.size() + 2), 0);
  *reinterpret_cast<UINT*>(bytes.data()) = static_cast<UINT>(items_.size());
  auto append = [&](std::size_t slot, LPCITEMIDLIST list, std::uint32_t size) {
    *reinterpret_cast<UINT*>(bytes.data() + sizeof(UINT) * (slot + 1)) =
        static_cast<UINT>(bytes.size());
    const auto* from = reinterpret_cast<const std::uint8_t*>(list);
    bytes.insert(bytes.end(), from, from + size);
  };
  HRESULT result = S_OK;
  LPITEMIDLIST parent = parse(TempDirectory);
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
