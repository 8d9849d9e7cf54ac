#include "setup/RegistryRows.h"

#include <cstdlib>
#include <cstring>

#include "namespace/ClassId.h"

namespace {

constexpr char Uninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char Approved[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// What the install overwrote or created, kept for the removal: one value per overwritten value
// (named after where it stood, holding its old type and data) and one empty value per key that
// the install created where the system had none (such as "Directory" in a fresh system).
const RegistryRow RecordStore = {'C', HKEY_LOCAL_MACHINE, Uninstall, "Tanuvia\\Previous", nullptr,
                                 REG_NONE, nullptr};
// Where earlier versions kept the old default value of ".lzh".
const RegistryRow LegacyAssociation = {'C', HKEY_LOCAL_MACHINE, Uninstall, "Tanuvia",
                                       "PreviousAssociation", REG_SZ, nullptr};

// The bytes a row writes: a text with its NUL, a REG_DWORD from its number text ("0x20000100"),
// nothing for an empty REG_BINARY.
std::vector<BYTE> RowBytes(const RegistryRow& row) {
  if (row.type == REG_SZ) return std::vector<BYTE>(row.data, row.data + std::strlen(row.data) + 1);
  if (row.type != REG_DWORD) return {};
  const DWORD number = std::strtoul(row.data, nullptr, 0);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
  return std::vector<BYTE>(bytes, bytes + sizeof number);
}

std::string RootName(HKEY root) { return root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCR\\"; }

// The record of a value: "HKCR\lzhfile|" for the default value of HKCR\lzhfile.
std::string RecordName(const RegistryRow& row) {
  return RootName(row.root) + row.keyPath() + "|" + (row.name ? row.name : "");
}

struct Snapshot {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

Snapshot ReadValue(const RegistryRow& row) {
  Snapshot value;
  HKEY key;
  if (RegOpenKeyExA(row.root, row.keyPath().c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return value;
  DWORD size = 0;
  if (RegQueryValueExA(key, row.name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.bytes.resize(size);
    value.present = RegQueryValueExA(key, row.name, nullptr, &value.type, value.bytes.data(),
                                     &size) == ERROR_SUCCESS;
    value.bytes.resize(size);
  }
  RegCloseKey(key);
  return value;
}

// Creates the row's key and, unless it is a key-only row, sets its value to `bytes`.
bool WriteValue(const RegistryRow& row, DWORD type, const BYTE* bytes, DWORD size) {
  HKEY key;
  if (RegCreateKeyExA(row.root, row.keyPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok =
      type == REG_NONE || RegSetValueExA(key, row.name, 0, type, bytes, size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// The data that earlier versions wrote to a row where this one writes other data: the commands
// without quotes around "%1". A value holding it is the installer's, not another program's.
const char* FormerData(const RegistryRow& row) {
  static const struct {
    const char* owned;
    const char* data;
  } former[] = {
      {"lzhfile\\shell\\open\\command", "explorer /root," TANUVIA_CLSID_TEXT ",%1"},
      {"lzhfile\\shell\\explore\\command", "explorer /e,/root," TANUVIA_CLSID_TEXT ",%1"},
  };
  for (const auto& entry : former)
    if (row.type == REG_SZ && !row.name && std::strcmp(row.owned, entry.owned) == 0)
      return entry.data;
  return nullptr;
}

// True when the value holds `text` (with or without its terminating NUL).
bool HoldsText(const Snapshot& value, const char* text) {
  std::size_t length = std::strlen(text);
  return (value.bytes.size() == length ||
          (value.bytes.size() == length + 1 && value.bytes[length] == 0)) &&
         std::memcmp(value.bytes.data(), text, length) == 0;
}

// True when the value holds the row's data, or what an earlier version wrote there.
bool HoldsRowData(const Snapshot& value, const RegistryRow& row) {
  if (!value.present || value.type != row.type) return false;
  if (row.type != REG_SZ) return value.bytes == RowBytes(row);
  const char* former = FormerData(row);
  return HoldsText(value, row.data) || (former && HoldsText(value, former));
}

// Deletes the owned keys of the row's path from the deepest up, while they are empty.
bool PruneOwnedKeys(const RegistryRow& row) {
  std::string path = row.keyPath();
  const std::size_t kept = std::strlen(row.kept);
  while (path.size() > kept) {
    HKEY key;
    LONG result = RegOpenKeyExA(row.root, path.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (result == ERROR_SUCCESS) {
      DWORD subKeys = 0, values = 0;
      result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                &values, nullptr, nullptr, nullptr, nullptr);
      RegCloseKey(key);
      if (result != ERROR_SUCCESS) return false;
      if (subKeys != 0 || values != 0) return true;
      if (RegDeleteKeyA(row.root, path.c_str()) != ERROR_SUCCESS) return false;
    } else if (result != ERROR_FILE_NOT_FOUND) {
      return false;
    }
    std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash < kept) break;
    path.resize(slash);
  }
  return true;
}

// Deletes the row's value while it holds the row's data (any data when `anyData`), then prunes.
bool RemoveRow(const RegistryRow& row, bool anyData) {
  if (row.type != REG_NONE) {
    Snapshot value = ReadValue(row);
    if (value.present && (anyData || HoldsRowData(value, row))) {
      HKEY key;
      if (RegOpenKeyExA(row.root, row.keyPath().c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
      LONG result = RegDeleteValueA(key, row.name);
      RegCloseKey(key);
      if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return false;
    }
  }
  return PruneOwnedKeys(row);
}

// Journals what the row holds, then writes `bytes` to it.
bool WriteJournaled(const RegistryRow& row, bool anyData, const BYTE* bytes, DWORD size,
                    RegistryJournal& journal) {
  Snapshot before = ReadValue(row);
  journal.push_back({row, anyData, before.present, before.type, std::move(before.bytes), {}});
  return WriteValue(row, row.type, bytes, size);
}

// Writes the record `name` into the store (journalled like a row: a failed install takes it back).
bool WriteRecord(const std::string& name, DWORD type, const std::vector<BYTE>& bytes,
                 RegistryJournal& journal) {
  RegistryRow record = RecordStore;
  record.name = name.c_str();
  record.type = type == REG_NONE ? REG_BINARY : type;  // a created key's record: an empty value
  Snapshot before = ReadValue(record);
  journal.push_back({record, true, before.present, before.type, std::move(before.bytes), name});
  return WriteValue(record, record.type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

// Before the row is written: another program's value that it overwrites is kept in the record
// store, and so is the outermost key of the row's kept part that the install is about to create.
bool KeepWhatIsOverwritten(const RegistryRow& row, RegistryJournal& journal) {
  bool ok = true;
  const std::string kept = row.kept;
  for (std::size_t at = 0; !kept.empty();) {
    const std::size_t next = kept.find('\\', at);
    const std::string path = kept.substr(0, next);
    HKEY key;
    if (RegOpenKeyExA(row.root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
      ok = WriteRecord(RootName(row.root) + path, REG_NONE, {}, journal);
      break;
    }
    RegCloseKey(key);
    if (next == std::string::npos) break;
    at = next + 1;
  }
  if (row.type == REG_NONE) return ok;
  Snapshot current = ReadValue(row);
  if (!current.present || HoldsRowData(current, row)) return ok;
  return WriteRecord(RecordName(row), current.type, current.bytes, journal) && ok;
}

// Deletes the key with every key below it, from the deepest up, as long as none holds a value.
// True when the key is gone.
bool PruneEmptyTree(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return true;
  std::vector<std::string> children;
  char child[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof child;
    if (RegEnumKeyExA(key, index, child, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    children.emplace_back(child);
  }
  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  bool empty = values == 0;
  for (const std::string& name : children)
    empty = PruneEmptyTree(root, path + "\\" + name) && empty;
  return empty && RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS;
}

// For the record of a key the install created ("HKCR\\Directory"): that key goes while it and
// everything below it is empty. Records of values are left alone.
void PruneCreatedKey(const std::string& record) {
  if (record.find('|') != std::string::npos || record.size() <= 5) return;
  PruneEmptyTree(record.compare(0, 5, "HKLM\\") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT,
                 record.substr(5));
}

// Everything in the record store, by name.
using Records = std::vector<std::pair<std::string, Snapshot>>;
Records ReadRecords() {
  Records records;
  HKEY store;
  if (RegOpenKeyExA(RecordStore.root, RecordStore.keyPath().c_str(), 0, KEY_QUERY_VALUE,
                    &store) == ERROR_SUCCESS) {
    for (DWORD index = 0;; ++index) {
      char name[1024];
      DWORD nameSize = sizeof name, size = 0;
      Snapshot value;
      if (RegEnumValueA(store, index, name, &nameSize, nullptr, &value.type, nullptr, &size) !=
          ERROR_SUCCESS)
        break;
      value.bytes.resize(size);
      nameSize = sizeof name;
      value.present = RegEnumValueA(store, index, name, &nameSize, nullptr, &value.type,
                                    value.bytes.data(), &size) == ERROR_SUCCESS;
      value.bytes.resize(size);
      if (value.present) records.emplace_back(name, std::move(value));
    }
    RegCloseKey(store);
  }
  Snapshot legacy = ReadValue(LegacyAssociation);
  if (legacy.present) records.emplace_back("HKCR\\.lzh|", std::move(legacy));
  return records;
}

const Snapshot* FindRecord(const Records& records, const std::string& name) {
  for (const auto& record : records)
    if (record.first == name) return &record.second;
  return nullptr;
}

// Removes the row; a value of another program that the install overwrote comes back while the
// row still holds the installer's data.
bool RemoveOrRestore(const RegistryRow& row, const Records& records) {
  const Snapshot* previous = row.type == REG_NONE ? nullptr : FindRecord(records, RecordName(row));
  if (previous && HoldsRowData(ReadValue(row), row))
    return WriteValue(row, previous->type, previous->bytes.data(),
                      static_cast<DWORD>(previous->bytes.size()));
  return RemoveRow(row, false);
}

}  // namespace

std::string RegistryRow::keyPath() const {
  std::string path = kept;
  if (*kept && *owned) path += '\\';
  return path += owned;
}

std::vector<RegistryRow> BuildRegistryRows(const SetupValues& v) {
  const HKEY classes = HKEY_CLASSES_ROOT;
  const HKEY machine = HKEY_LOCAL_MACHINE;
  const char* const clsid = TANUVIA_CLSID_TEXT;
  return {
      {'A', classes, "CLSID", TANUVIA_CLSID_TEXT, nullptr, REG_NONE, nullptr},
      {'A', classes, "CLSID", TANUVIA_CLSID_TEXT "\\InProcServer32", nullptr, REG_SZ, v.dllPath},
      {'A', classes, "CLSID", TANUVIA_CLSID_TEXT "\\InProcServer32", "ThreadingModel", REG_SZ,
       "Apartment"},
      {'A', classes, "CLSID", TANUVIA_CLSID_TEXT "\\DefaultIcon", nullptr, REG_SZ, v.iconValue},
      {'A', classes, "", ".lzh", nullptr, REG_SZ, "lzhfile"},
      // Written as an empty value: the shell's New menu then offers an "LZHﾌｧｲﾙ" that creates an
      // empty file, which the library opens as an archive without members.
      {'A', classes, "", ".lzh\\ShellNew", "NullFile", REG_BINARY, nullptr},
      {'A', classes, "", "lzhfile", nullptr, REG_SZ, v.typeName()},
      {'A', classes, "", "lzhfile\\DefaultIcon", nullptr, REG_SZ, v.iconValue},
      {'A', classes, "", "lzhfile\\shell", nullptr, REG_SZ, "open"},
      {'A', classes, "", "lzhfile\\shell\\open\\command", nullptr, REG_SZ,
       "explorer /root," TANUVIA_CLSID_TEXT ",\"%1\""},
      {'A', classes, "", "lzhfile\\shell\\explore\\command", nullptr, REG_SZ,
       "explorer /e,/root," TANUVIA_CLSID_TEXT ",\"%1\""},
      {'A', classes, "", "lzhfile\\shellex\\PropertySheetHandlers", nullptr, REG_SZ, "LzhFiles"},
      {'A', classes, "", "lzhfile\\shellex\\PropertySheetHandlers\\LzhFiles", nullptr, REG_SZ,
       clsid},
      {'A', classes, "", "lzhfile\\shellex\\DropHandler", nullptr, REG_SZ, clsid},
      {'A', classes, "Directory", "shellex\\DragDropHandlers\\LzhExtract", nullptr, REG_SZ, clsid},
      {'A', classes, "Folder", "shellex\\DragDropHandlers\\LzhExtract", nullptr, REG_SZ, clsid},
      {'B', classes, "CLSID", TANUVIA_CLSID_TEXT, nullptr, REG_SZ, v.typeName()},
      // Windows Vista and later: the file class names the folder class, so a double-click
      // browses the archive in the same window (and in tabs) instead of a rooted window.
      // Attributes: SFGAO_FOLDER | SFGAO_DROPTARGET. The value under OpenWithProgids is read by
      // its name only.
      {'V', classes, "", "lzhfile\\CLSID", nullptr, REG_SZ, clsid},
      {'V', classes, "CLSID", TANUVIA_CLSID_TEXT "\\ShellFolder", "Attributes", REG_DWORD,
       "0x20000100"},
      {'V', classes, "", ".lzh\\OpenWithProgids", "lzhfile", REG_BINARY, nullptr},
      {'C', machine, Uninstall, "Tanuvia", "DisplayName", REG_SZ, v.productName()},
      {'C', machine, Uninstall, "Tanuvia", "UninstallString", REG_SZ, v.uninstallCommand},
      {'C', machine, Approved, "", TANUVIA_CLSID_TEXT, REG_SZ, "Tanuvia"},
      {'C', machine, "SOFTWARE", "Bellfin\\Tanuvia", nullptr, REG_NONE, nullptr},
  };
}

bool WriteRegistryRows(const SetupValues& values, RegistryJournal& journal) {
  bool ok = true;
  for (const RegistryRow& row : BuildRegistryRows(values)) {
    if (row.table == 'B' && !values.windowsNt) continue;
    if (row.table == 'V' && !values.vistaOrLater) continue;
    ok = KeepWhatIsOverwritten(row, journal) && ok;
    const std::vector<BYTE> bytes = RowBytes(row);
    ok = WriteJournaled(row, false, bytes.data(), static_cast<DWORD>(bytes.size()), journal) && ok;
  }
  return ok;
}

void UndoRegistryRows(const RegistryJournal& journal) {
  for (auto entry = journal.rbegin(); entry != journal.rend(); ++entry) {
    RegistryRow row = entry->row;
    if (!entry->record.empty()) row.name = entry->record.c_str();
    if (entry->hadValue) {
      WriteValue(row, entry->type, entry->bytes.data(), static_cast<DWORD>(entry->bytes.size()));
    } else {
      RemoveRow(row, entry->anyData);
      PruneCreatedKey(entry->record);
    }
  }
}

bool RemoveRegistryRows(const SetupValues& values) {
  const std::vector<RegistryRow> rows = BuildRegistryRows(values);
  const Records records = ReadRecords();
  bool ok = true;
  // Table V goes whatever the system: it may have been upgraded since the install.
  for (char table : {'B', 'V', 'A', 'C'}) {
    if (table == 'B' && !values.windowsNt) continue;
    if (table == 'C') {
      // The store has served; it goes before the key that holds it is pruned.
      RegDeleteKeyA(RecordStore.root, RecordStore.keyPath().c_str());
      ok = RemoveRow(LegacyAssociation, true) && ok;
    }
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
      if (row->table == table) ok = RemoveOrRestore(*row, records) && ok;
    }
  }
  // Keys the install created where there were none go once nothing is left in them.
  for (const auto& record : records) PruneCreatedKey(record.first);
  return ok;
}
