#include "setup/ReplaceAtRestart.h"

#include <windows.h>

#include <cstring>

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
    std::memmove(text + below + lineLength, text + below, size - below);
    std::memcpy(text + below, line, lineLength);
    end += lineLength;
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
