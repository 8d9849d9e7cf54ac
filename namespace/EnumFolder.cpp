// One folder level derived from the flat catalogue. Files are the members whose path lies directly
// in the folder. Sub-folders come from a folder table built over every member's directory: each
// prefix ending with a backslash is a folder, whether the archive has a header for it ("-lhd-")
// or not. A folder's first spelling keys its row, so members that differ only in letter case
// land in one folder.
#include <memory>
#include <new>
#include <vector>

#include <cstring>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/StringList.h"
#include "namespace/ItemEnumerator.h"

namespace {

struct FolderRow {
  std::int32_t depth;   // backslashes of the key before its last one
  ArchiveEntry header;  // the folder entry, or the member that introduced the row
};

bool IsFolderEntry(const ArchiveEntry& entry) {
  return std::memcmp(entry.method, "-lhd-", 5) == 0;
}

// Terminated copy of a record field of at most 259 bytes (records come from an archive).
void CopyField(char (&out)[MaxPath], const char* field) {
  std::size_t n = 0;
  while (n < EntryFieldMax && field[n]) ++n;
  std::memcpy(out, field, n);
  out[n] = '\0';
}

class FolderTable {
 public:
  bool Add(const ArchiveEntry& record);
  std::uint32_t Count() const { return keys_.Count(); }
  const char* KeyAt(std::uint32_t i) const {
    const char* key = nullptr;
    keys_.Get(i, &key, nullptr, nullptr);
    return key;
  }
  FolderRow& RowAt(std::uint32_t i) { return *rows_[i]; }

 private:
  bool AddRow(const char* key, std::int32_t depth, const ArchiveEntry& record);

  StringList keys_;  // folder paths in insertion order; each node's record is its row
  std::vector<std::unique_ptr<FolderRow>> rows_;
};

bool FolderTable::AddRow(const char* key, std::int32_t depth, const ArchiveEntry& record) {
  std::unique_ptr<FolderRow> row(new (std::nothrow) FolderRow);
  if (!row) return false;
  row->depth = depth;
  row->header = record;
  if (!keys_.Append(key, 0, row.get())) return false;
  rows_.push_back(std::move(row));
  return true;
}

bool FolderTable::Add(const ArchiveEntry& record) {
  char key[MaxPath];
  CopyField(key, record.directory);
  if (!key[0]) return true;
  std::int32_t found = keys_.FindNoCase(key);
  if (found < 0) {
    // Every prefix up to a separator is a folder.
    std::int32_t depth = 0;
    for (std::size_t i = ComponentLength(key); key[i]; i += 1 + ComponentLength(key + i + 1)) {
      char prefix[MaxPath];
      std::memcpy(prefix, key, i + 1);
      prefix[i + 1] = '\0';
      if (keys_.FindNoCase(prefix) < 0 && !AddRow(prefix, depth, record)) return false;
      ++depth;
    }
    return true;
  }
  if (IsFolderEntry(record)) {
    // The folder's own header replaces the member that introduced the row, and its spelling
    // becomes the row's key; the depth stays.
    FolderRow* row = rows_[static_cast<std::uint32_t>(found)].get();
    row->header = record;
    return keys_.Replace(static_cast<std::uint32_t>(found), key, 0, row);
  }
  return true;
}

void AddFiles(ItemEnumerator& enumerator, EntryEnumerator& snapshot, const char* innerPath) {
  snapshot.Reset();
  ItemBuilder builder;
  ArchiveEntry record;
  while (snapshot.Next(1, &record, nullptr) == S_OK) {
    if (record.attributes & FolderAttribute) continue;
    if (!record.name[0]) continue;  // a folder entry without the folder bit is not a file
    char full[EntryPathMax];
    EntryPath(record, full);
    if (!MatchesFolder(innerPath, full)) continue;
    builder.Build(&record);
    enumerator.Add(builder.Item());
  }
}

void AddFolders(ItemEnumerator& enumerator, EntryEnumerator& snapshot, const char* innerPath,
                std::int32_t depth) {
  snapshot.Reset();
  FolderTable table;
  ArchiveEntry record;
  while (snapshot.Next(1, &record, nullptr) == S_OK) {
    if (!table.Add(record)) break;
  }
  ItemBuilder builder;
  for (std::uint32_t i = 0; i < table.Count(); ++i) {
    const char* key = table.KeyAt(i);
    FolderRow& row = table.RowAt(i);
    if (row.depth != depth || (innerPath[0] && !IsBelowFolder(innerPath, key))) continue;
    ArchiveEntry& data = row.header;
    bool synthetic = !IsFolderEntry(data);
    if (synthetic) {
      data.originalSize = 0;
      data.packedSize = 0;
      std::memset(data.method, 0, sizeof data.method);
    }
    // A folder row always builds a folder item, even from a folder entry without the bit.
    data.attributes = synthetic ? FolderAttribute : (data.attributes | FolderAttribute);
    std::memset(data.directory, 0, sizeof data.directory);
    std::strcpy(data.directory, key);
    data.name[0] = '\0';
    builder.Build(&data);
    builder.Item().isSynthetic = synthetic ? 1 : 0;
    enumerator.Add(builder.Item());
  }
}

}  // namespace

HRESULT EnumFolder(Archive* archive, const char* innerPath, std::int32_t depth, DWORD flags,
                   IEnumIDList** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  ItemEnumerator* enumerator = new (std::nothrow) ItemEnumerator;
  if (!enumerator) return E_OUTOFMEMORY;
  enumerator->AddRef();
  EntryEnumerator* snapshot = archive ? archive->EnumEntries() : nullptr;
  if (snapshot) {
    if (flags & SHCONTF_NONFOLDERS) AddFiles(*enumerator, *snapshot, innerPath);
    if (flags & SHCONTF_FOLDERS) AddFolders(*enumerator, *snapshot, innerPath, depth);
    snapshot->Release();
  }
  enumerator->Finish();
  *out = enumerator;
  return S_OK;
}
