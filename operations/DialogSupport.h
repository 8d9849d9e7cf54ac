// Helpers shared by the confirmation dialogs.
#pragma once

#include <windows.h>

#include <cstddef>

#include "namespace/ResourceText.h"

// Sets control `control` to string `id` filled with up to two "%s" arguments.
void SetFormattedText(HWND dialog, int control, UINT id, const char* first,
                      const char* second = "");

// The record a dialog procedure was started with, kept in the dialog's user data.
template <class Record>
Record* DialogRecord(HWND dialog) {
  return reinterpret_cast<Record*>(GetWindowLongPtrA(dialog, DWLP_USER));
}
void KeepDialogRecord(HWND dialog, LPARAM record);

// True when `name` is one valid path component: not empty, not "." or "..", none of
// " / : < > \ | * ? nor a control character outside double-byte characters, no trailing dot or
// space, and no device name (CON, NUL, COM1, LPT1 ... with or without an extension).
bool IsSingleComponent(const char* name);
// A new name can be confirmed when it differs from `itemName` other than in letter case and is a
// single path component (IsSingleComponent).
bool IsAcceptableNewName(const char* text, const char* itemName);

// Copies the edit's text into `buffer` (260 bytes, cut on a character boundary).
void ReadEditText(HWND dialog, int control, char* buffer, std::size_t size);
