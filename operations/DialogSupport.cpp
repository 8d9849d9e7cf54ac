#include "operations/DialogSupport.h"

#include <cstring>

#include "archive/NoCase.h"
#include "archive/PathName.h"

void SetFormattedText(HWND dialog, int control, UINT id, const char* first, const char* second) {
  char pattern[512];
  LoadLibraryString(id, pattern, sizeof pattern);
  // wsprintfA writes at most 1024 bytes; two 259-byte names and the longest pattern fit.
  char text[1100];
  wsprintfA(text, pattern, first, second);
  SetDlgItemTextA(dialog, control, text);
}

void KeepDialogRecord(HWND dialog, LPARAM record) {
  SetWindowLongPtrA(dialog, DWLP_USER, record);
}

namespace {

// Names the file system reserves for devices, with or without an extension ("CON", "nul.txt").
bool IsDeviceName(const char* name) {
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
  std::size_t stem = 0;
  while (name[stem] && name[stem] != '.') ++stem;
  char upper[8] = "";
  if (stem >= sizeof upper) return false;
  for (std::size_t i = 0; i < stem; ++i) {
    char c = name[i];
    upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  upper[stem] = '\0';
  for (const char* device : devices) {
    if (std::strcmp(upper, device) == 0) return true;
  }
  // COM1..COM9 and LPT1..LPT9.
  return stem == 4 && (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

bool IsSingleComponent(const char* name) {
  if (!name[0] || !IsValidFileName(name)) return false;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  // Wildcards, control characters, and a trailing dot or space (which the file system drops, so
  // the name would come back as another one) are scanned outside double-byte characters.
  char last = '\0';
  for (std::size_t i = 0; name[i];) {
    if (IsDBCSLeadByte(static_cast<BYTE>(name[i])) && name[i + 1]) {
      last = '\0';
      i += 2;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == '*' || c == '?') return false;
    last = name[i++];
  }
  return last != '.' && last != ' ' && !IsDeviceName(name);
}

bool IsAcceptableNewName(const char* text, const char* itemName) {
  return CompareNoCase(text, itemName) != 0 && IsSingleComponent(text);
}

void ReadEditText(HWND dialog, int control, char* buffer, std::size_t size) {
  char text[MAX_PATH * 2] = "";
  GetDlgItemTextA(dialog, control, text, sizeof text);
  CopyCut(buffer, size, text, sizeof text);  // a double-byte character is never split
}
