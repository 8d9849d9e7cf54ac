#include "setup/ReplaceAtRestart.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr char RenameHeader[] = "[Rename]\r\n";
constexpr DWORD RenameHeaderLength = sizeof RenameHeader - 1;

bool IsRenameHeader(const char* text) {
  for (DWORD i = 0; i < RenameHeaderLength; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    char h = RenameHeader[i];
    if (h >= 'a' && h <= 'z') h = static_cast<char>(h - 'a' + 'A');
    if (c != h) return false;
  }
  return true;
}

// Offset just past a "[Rename]" CR LF header line in text[0, size), or 0 when there is none.
// Section names are compared without regard to case, as WININIT does. A line break byte is never
// the trail byte of a double-byte character, so lines can be found byte by byte.
DWORD FindRenameSection(const char* text, DWORD size) {
  for (DWORD line = 0; line + RenameHeaderLength <= size;) {
    if (IsRenameHeader(text + line)) return line + RenameHeaderLength;
    const void* newline = std::memchr(text + line, '\n', size - line);
    if (!newline) break;
    line = static_cast<DWORD>(static_cast<const char*>(newline) - text) + 1;
  }
  return 0;
}

// Offset of the line that opens the section after the one whose lines start at `from`, or
// `size` when that section runs to the end of the text.
DWORD SectionEnd(const char* text, DWORD size, DWORD from) {
  for (DWORD line = from; line < size;) {
    if (text[line] == '[') return line;
    const void* newline = std::memchr(text + line, '\n', size - line);
    if (!newline) break;
    line = static_cast<DWORD>(static_cast<const char*>(newline) - text) + 1;
  }
  return size;
}

}  // namespace

bool AddWininitRename(const char* iniPath, const char* source, const char* target) {
  if (std::strlen(source) >= MAX_PATH || (target && std::strlen(target) >= MAX_PATH)) return false;
  char line[2 * MAX_PATH + 8];
  DWORD lineLength = wsprintfA(line, "%s=%s\r\n", target ? target : "NUL", source);

  HANDLE file = CreateFileA(iniPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  // Room for the line, a header and a line break in front of it; the mapping grows the file to
  // this size, and SetEndOfFile below cuts it back to what was written.
  DWORD room = size + lineLength + RenameHeaderLength + 2;
  HANDLE mapping = size == INVALID_FILE_SIZE || size > 0x10000000
                       ? nullptr
                       : CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, room, nullptr);
  char* text = mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, room))
                       : nullptr;
  if (!text) {
    if (mapping) CloseHandle(mapping);
    SetFilePointer(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return false;
  }

  DWORD end = size;
  if (DWORD below = FindRenameSection(text, size)) {
    // WININIT carries the lines out from the top, so a new line goes to the end of the section:
    // a deletion scheduled earlier must not remove a file this line brings in.
    DWORD at = SectionEnd(text, size, below);
    DWORD breakLength = at == size && text[size - 1] != '\n' ? 2 : 0;
    std::memmove(text + at + breakLength + lineLength, text + at, size - at);
    std::memcpy(text + at, "\r\n", breakLength);
    std::memcpy(text + at + breakLength, line, lineLength);
    end += breakLength + lineLength;
  } else {
    if (size > 0 && text[size - 1] != '\n') {
      std::memcpy(text + end, "\r\n", 2);
      end += 2;
    }
    std::memcpy(text + end, RenameHeader, RenameHeaderLength);
    end += RenameHeaderLength;
    std::memcpy(text + end, line, lineLength);
    end += lineLength;
  }
  bool ok = FlushViewOfFile(text, end) != FALSE;
  UnmapViewOfFile(text);
  CloseHandle(mapping);
  ok = SetFilePointer(file, end, nullptr, FILE_BEGIN) == end && SetEndOfFile(file) && ok;
  return CloseHandle(file) && ok;
}

bool ReplaceAtRestart(bool windowsNt, const char* wininitPath, const char* source,
                      const char* target) {
  if (!windowsNt) return AddWininitRename(wininitPath, source, target);
  DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (target ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExA(source, target, flags) != FALSE;
}

namespace {

constexpr char SessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char PendingRenames[] = "PendingFileRenameOperations";

// Removes the pair (source, any target) from the pending renames of Windows NT, whose names
// carry the "\??\" prefix (and "!" in front of a target that is replaced).
bool CancelPendingRename(const char* source) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    &key) != ERROR_SUCCESS)
    return true;  // nothing pending at all
  DWORD type = 0, size = 0;
  std::string list;
  bool ok = true;
  if (RegQueryValueExA(key, PendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    list.resize(size + 2);
    ok = RegQueryValueExA(key, PendingRenames, nullptr, &type,
                          reinterpret_cast<BYTE*>(&list[0]), &size) == ERROR_SUCCESS;
    list.resize(size);
  }
  const std::string wanted = std::string("\\??\\") + source;
  std::string kept;
  bool removed = false;
  for (std::size_t at = 0; ok && at < list.size();) {
    const std::string from = list.c_str() + at;
    at += from.size() + 1;
    if (from.empty()) break;  // the list's closing empty string
    const std::string to = at < list.size() ? std::string(list.c_str() + at) : std::string();
    at += to.size() + 1;
    if (lstrcmpiA(from.c_str(), wanted.c_str()) == 0) {
      removed = true;
      continue;
    }
    kept += from + '\0' + to + '\0';
  }
  if (ok && removed) {
    ok = kept.empty() ? RegDeleteValueA(key, PendingRenames) == ERROR_SUCCESS
                      : RegSetValueExA(key, PendingRenames, 0, REG_MULTI_SZ,
                                       reinterpret_cast<const BYTE*>((kept + '\0').data()),
                                       static_cast<DWORD>(kept.size() + 1)) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return ok;
}

// Removes every line "target=source" (any case) from the WININIT.INI file.
bool RemoveWininitLine(const char* iniPath, const char* source, const char* target) {
  HANDLE file = CreateFileA(iniPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  DWORD size = GetFileSize(file, nullptr);
  std::string text(size == INVALID_FILE_SIZE || size > 0x10000000 ? 0 : size, '\0');
  DWORD read = 0;
  bool ok = size != INVALID_FILE_SIZE &&
            ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr) &&
            read == text.size();
  const std::string line = std::string(target ? target : "NUL") + "=" + source;
  std::string kept;
  for (std::size_t at = 0; ok && at < text.size();) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string current = text.substr(at, end - at);
    std::string bare = current.substr(0, current.find_first_of("\r\n"));
    if (lstrcmpiA(bare.c_str(), line.c_str()) != 0) kept += current;
    at = end;
  }
  if (ok && kept.size() != text.size()) {
    DWORD written = 0;
    ok = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
         WriteFile(file, kept.data(), static_cast<DWORD>(kept.size()), &written, nullptr) &&
         written == kept.size() && SetEndOfFile(file);
  }
  return CloseHandle(file) && ok;
}

}  // namespace

bool CancelReplaceAtRestart(bool windowsNt, const char* wininitPath, const char* source,
                            const char* target) {
  return windowsNt ? CancelPendingRename(source) : RemoveWininitLine(wininitPath, source, target);
}
