#include "setup/RegistryRows.h"

#include <cstring>

#include "namespace/ClassId.h"

namespace {

constexpr char Uninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char Approved[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Where the default value of ".lzh" that was there before the install waits for the removal.
const RegistryRow PreviousAssociation = {'C', HKEY_LOCAL_MACHINE, Uninstall, "Tanuvia",
                                         "PreviousAssociation", REG_SZ, nullptr};

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

// True when the value holds the row's data (a text with or without its terminating NUL).
bool HoldsRowData(const Snapshot& value, const RegistryRow& row) {
  if (!value.present || value.type != row.type) return false;
  if (row.type != REG_SZ) return value.bytes.empty();
  std::size_t length = std::strlen(row.data);
  return (value.bytes.size() == length ||
          (value.bytes.size() == length + 1 && value.bytes[length] == 0)) &&
         std::memcmp(value.bytes.data(), row.data, length) == 0;
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
  journal.push_back({row, anyData, before.present, before.type, std::move(before.bytes)});
  return WriteValue(row, row.type, bytes, size);
}

// Before ".lzh" becomes "lzhfile": another program's association is kept for the removal.
bool KeepPreviousAssociation(const RegistryRow& lzh, RegistryJournal& journal) {
  Snapshot current = ReadValue(lzh);
  if (!current.present || current.type != REG_SZ || current.bytes.empty() ||
      current.bytes[0] == 0 || HoldsRowData(current, lzh)) {
    return true;
  }
  return WriteJournaled(PreviousAssociation, true, current.bytes.data(),
                        static_cast<DWORD>(current.bytes.size()), journal);
}

// Removal of the ".lzh" association: while it is still ours, the kept association comes back.
bool RemoveAssociation(const RegistryRow& lzh) {
  Snapshot previous = ReadValue(PreviousAssociation);
  bool ok;
  if (previous.present && previous.type == REG_SZ && HoldsRowData(ReadValue(lzh), lzh)) {
    ok = WriteValue(lzh, REG_SZ, previous.bytes.data(), static_cast<DWORD>(previous.bytes.size()));
  } else {
    ok = RemoveRow(lzh, false);
  }
  return RemoveRow(PreviousAssociation, true) && ok;
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
      {'A', classes, "", ".lzh", nullptr, REG_SZ, "lzhfile", true},
      // Written as an empty value: the shell's New menu then offers an "LZHﾌｧｲﾙ" that creates an
      // empty file, which the library opens as an archive without members.
      {'A', classes, "", ".lzh\\ShellNew", "NullFile", REG_BINARY, nullptr},
      {'A', classes, "", "lzhfile", nullptr, REG_SZ, v.typeName()},
      {'A', classes, "", "lzhfile\\DefaultIcon", nullptr, REG_SZ, v.iconValue},
      {'A', classes, "", "lzhfile\\shell", nullptr, REG_SZ, "open"},
      {'A', classes, "", "lzhfile\\shell\\open\\command", nullptr, REG_SZ,
       "explorer /root," TANUVIA_CLSID_TEXT ",%1"},
      {'A', classes, "", "lzhfile\\shell\\explore\\command", nullptr, REG_SZ,
       "explorer /e,/root," TANUVIA_CLSID_TEXT ",%1"},
      {'A', classes, "", "lzhfile\\shellex\\PropertySheetHandlers", nullptr, REG_SZ, "LzhFiles"},
      {'A', classes, "", "lzhfile\\shellex\\PropertySheetHandlers\\LzhFiles", nullptr, REG_SZ,
       clsid},
      {'A', classes, "", "lzhfile\\shellex\\DropHandler", nullptr, REG_SZ, clsid},
      {'A', classes, "Directory", "shellex\\DragDropHandlers\\LzhExtract", nullptr, REG_SZ, clsid},
      {'A', classes, "Folder", "shellex\\DragDropHandlers\\LzhExtract", nullptr, REG_SZ, clsid},
      {'B', classes, "CLSID", TANUVIA_CLSID_TEXT, nullptr, REG_SZ, v.typeName()},
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
    if (row.keepsPrevious) ok = KeepPreviousAssociation(row, journal) && ok;
    DWORD size = row.type == REG_SZ ? static_cast<DWORD>(std::strlen(row.data) + 1) : 0;
    ok = WriteJournaled(row, false, reinterpret_cast<const BYTE*>(row.data), size, journal) && ok;
  }
  return ok;
}

void UndoRegistryRows(const RegistryJournal& journal) {
  for (auto entry = journal.rbegin(); entry != journal.rend(); ++entry) {
    if (entry->hadValue) {
      WriteValue(entry->row, entry->type, entry->bytes.data(),
                 static_cast<DWORD>(entry->bytes.size()));
    } else {
      RemoveRow(entry->row, entry->anyData);
    }
  }
}

bool RemoveRegistryRows(const SetupValues& values) {
  const std::vector<RegistryRow> rows = BuildRegistryRows(values);
  bool ok = true;
  for (char table : {'B', 'A', 'C'}) {
    if (table == 'B' && !values.windowsNt) continue;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
      if (row->table != table) continue;
      ok = (row->keepsPrevious ? RemoveAssociation(*row) : RemoveRow(*row, false)) && ok;
    }
  }
  return ok;
}
