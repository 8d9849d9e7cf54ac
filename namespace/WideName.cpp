#include "namespace/WideName.h"

#include <cwchar>
#include <memory>
#include <new>

bool WideToName(const wchar_t* wide, char* out, std::size_t size, UINT codePage) {
  if (!out || size == 0) return false;
  out[0] = 0;
  if (!wide) return false;
  const int limit = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  // WC_NO_BEST_FIT_CHARS turns best fit off, but a character can still come out as the default
  // character; the round trip below catches both.
  BOOL defaulted = FALSE;
  const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
  int made = WideCharToMultiByte(codePage, utf ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, out, limit,
                                 nullptr, utf ? nullptr : &defaulted);
  if (made <= 0 || defaulted) {
    out[0] = 0;
    return false;
  }
  const std::size_t length = std::wcslen(wide) + 1;
  std::unique_ptr<wchar_t[]> back(new (std::nothrow) wchar_t[length + 1]);
  if (!back ||
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, out, -1, back.get(),
                          static_cast<int>(length + 1)) != static_cast<int>(length) ||
      std::wcscmp(back.get(), wide) != 0) {
    out[0] = 0;
    return false;
  }
  return true;
}

bool NameToWide(const char* name, wchar_t* out, std::size_t size, UINT codePage) {
  if (!out || size == 0) return false;
  out[0] = 0;
  if (!name) return false;
  const int limit = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, name, -1, out, limit) <= 0) {
    out[0] = 0;
    return false;
  }
  return true;
}
