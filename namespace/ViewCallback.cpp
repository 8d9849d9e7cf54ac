#include "namespace/ViewCallback.h"

#include <cstdio>
#include <cstring>

#include "archive/PathName.h"
#include "archive/SizeText.h"
#include "archive/TimeConversion.h"
#include "namespace/ModuleState.h"

namespace {

// Folder-view messages the callback answers.
constexpr UINT WindowCreatedMessage = 15;
constexpr UINT GetDetailsOfMessage = 23;
constexpr UINT ColumnClickMessage = 24;
constexpr UINT BackgroundEnumMessage = 32;

// Messages sent through the view's message function.
constexpr UINT RearrangeViewMessage = 1;
constexpr UINT AutoArrangeViewMessage = 17;

// String id of the first column title; the others follow.
constexpr UINT FirstColumnTitle = 400;

struct ColumnLayout {
  int format;  // LVCFMT_LEFT or LVCFMT_RIGHT
  int width;   // in characters
};

constexpr ColumnLayout Columns[ViewColumnCount] = {
    {LVCFMT_LEFT, 18}, {LVCFMT_RIGHT, 10}, {LVCFMT_LEFT, 16}, {LVCFMT_LEFT, 16},
    {LVCFMT_RIGHT, 7}, {LVCFMT_LEFT, 7},   {LVCFMT_LEFT, 7}};

// Date flags 1 (short date) and time flags 2 (no seconds) of the date column.
constexpr std::int32_t ShortDate = 1;
constexpr std::int32_t NoSeconds = 2;

using FolderViewMessageFunction = LRESULT(WINAPI*)(HWND, UINT, LPARAM);

void CopyText(char* out, std::size_t size, const char* text) {
  if (size == 0) return;
  CopyCut(out, size, text, std::strlen(text));
}

void SetCString(STRRET* text, const char* value) {
  text->uType = STRRET_CSTR;
  CopyText(text->cStr, sizeof text->cStr, value);
}

HRESULT GetDetailsOf(int column, DETAILSINFO* details) {
  if (!details || column < 0 || column >= ViewColumnCount) return E_INVALIDARG;
  if (!details->pidl) {
    details->fmt = Columns[column].format;
    details->cxChar = Columns[column].width;
    details->str.uType = STRRET_CSTR;
    details->str.cStr[0] = '\0';
    LoadStringA(ModuleInstance, FirstColumnTitle + column, details->str.cStr,
                sizeof details->str.cStr);
    return S_OK;
  }
  // An identifier that is not one of ours shows empty texts.
  char text[MAX_PATH] = "";
  if (const ItemId* item = AsItemId(details->pidl)) ItemColumnText(*item, column, text, sizeof text);
  SetCString(&details->str, text);
  return S_OK;
}

}  // namespace

int CompressionPercent(std::uint32_t packedSize, std::uint32_t originalSize) {
  if (originalSize == 0) return 0;
  return static_cast<int>(std::uint64_t{packedSize} * 100 / originalSize);
}

void ItemColumnText(const ItemId& item, int column, char* out, std::size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  const bool folder = IsFolderItem(item);
  switch (column) {
    case 0:
      CopyText(out, size, PathNamePart(item.path));
      break;
    case 1:
      if (!folder) SizeText(out, size, item.originalSize, false);
      break;
    case 2:
      if (folder) {
        CopyText(out, size, FolderTypeName);
      } else {
        SHFILEINFOA info = {};
        if (SHGetFileInfoA(item.path, 0, &info, sizeof info,
                           SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES))
          CopyText(out, size, info.szTypeName);
      }
      break;
    case 3:
      if (!folder) {
        platform::FileTime time;
        UnixToFileTime(item.modifyTime, &time);
        FormatFileTime(time, out, size, ShortDate, NoSeconds);
      }
      break;
    case 4:
      if (!folder) std::snprintf(out, size, "%d%%", CompressionPercent(static_cast<std::uint32_t>(item.packedSize), item.originalSize));
      break;
    case 5:
      // The copied method field is not trusted to carry its NUL.
      CopyCut(out, size, item.method, strnlen(item.method, sizeof item.method));
      break;
    case 6:
      if (!folder) std::snprintf(out, size, "%04X", static_cast<unsigned>(item.crc));
      break;
    default:
      break;
  }
}

LRESULT SendFolderViewMessage(HWND mainWindow, UINT message, LPARAM lParam) {
  HMODULE shell = GetModuleHandleA("SHELL32");
  if (!shell) return 0;
  auto send = reinterpret_cast<FolderViewMessageFunction>(
      reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(73))));
  return send ? send(mainWindow, message, lParam) : 0;
}

HRESULT CALLBACK ViewCallback(IShellView*, IShellFolder*, HWND mainWindow, UINT message,
                              WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WindowCreatedMessage:
      // Switching auto-arrange twice leaves it as it was and makes the view lay out its items.
      SendFolderViewMessage(mainWindow, AutoArrangeViewMessage, 0);
      SendFolderViewMessage(mainWindow, AutoArrangeViewMessage, 0);
      return S_OK;
    case GetDetailsOfMessage:
      if (wParam >= static_cast<WPARAM>(ViewColumnCount)) return E_INVALIDARG;
      return GetDetailsOf(static_cast<int>(wParam), reinterpret_cast<DETAILSINFO*>(lParam));
    case ColumnClickMessage:
      SendFolderViewMessage(mainWindow, RearrangeViewMessage, static_cast<LPARAM>(wParam));
      return S_OK;
    case BackgroundEnumMessage:
      return S_OK;
    default:
      return E_NOTIMPL;
  }
}
