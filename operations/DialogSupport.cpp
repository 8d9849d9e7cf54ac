#include "operations/DialogSupport.h"

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

bool IsAcceptableNewName(const char* text, const char* itemName) {
  return text[0] != '\0' && CompareNoCase(text, itemName) != 0 && IsValidFileName(text);
}

void ReadEditText(HWND dialog, int control, char* buffer, std::size_t size) {
  char text[MAX_PATH * 2] = "";
  GetDlgItemTextA(dialog, control, text, sizeof text);
  CopyCut(buffer, size, text, sizeof text);  // a double-byte character is never split
}
