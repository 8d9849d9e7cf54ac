#include "archive/PathName.h"

#include <cstring>

#include "archive/NoCase.h"
#include "platform/Platform.h"

namespace {

inline bool IsLead(char c) { return platform::IsDBCSLeadByte(static_cast<unsigned char>(c)); }

// Index just past the last single-byte `wanted` (or of either of two), or 0 when there is none.
std::size_t LastSeparatorEnd(const char* path, char wanted, char other) {
  std::size_t end = 0;
  for (std::size_t i = 0; path[i];) {
    if (IsLead(path[i])) {
      i += path[i + 1] ? 2 : 1;
      continue;
    }
    if (path[i] == wanted || path[i] == other) end = i + 1;
    ++i;
  }
  return end;
}

}  // namespace

std::size_t CharBoundaryCut(const char* text, std::size_t length, std::size_t limit) {
  const std::size_t end = length < limit ? length : limit;
  // Lead bytes are all 0x81 or above: text without such bytes (most names) has no character to
  // split, and a scan of a large archive need not ask about every byte.
  std::size_t high = 0;
  while (high < end && static_cast<unsigned char>(text[high]) < 0x80) ++high;
  if (high == end) return end;
  std::size_t i = 0;
  while (i < end) {
    std::size_t step = IsLead(text[i]) ? 2 : 1;
    if (i + step > end) break;  // a lead byte whose second byte is cut off or missing
    i += step;
  }
  return i;
}

std::size_t CopyCut(char* out, std::size_t size, const char* source, std::size_t length) {
  if (size == 0) return 0;
  std::size_t n = 0;
  while (n < length && source[n]) ++n;
  n = CharBoundaryCut(source, n, size - 1);
  std::memmove(out, source, n);
  out[n] = '\0';
  return n;
}

const char* PathNamePart(const char* path) { return path + PathFolderLength(path); }

std::size_t PathFolderLength(const char* path) { return LastSeparatorEnd(path, '\\', '\\'); }

void PathFolder(char* out, const char* path, std::size_t size) {
  CopyCut(out, size, path, PathFolderLength(path));
}

void PathLeafName(char* out, const char* path, std::size_t size) {
  const char* leaf = PathNamePart(path);
  CopyCut(out, size, leaf, std::strlen(leaf));
}

void PathParentName(char* out, const char* path, std::size_t size) {
  if (size == 0) return;
  std::size_t folder = PathFolderLength(path);
  if (folder == 0) {
    out[0] = '\0';
    return;
  }
  // The folder part without its trailing backslash; its own last component is the parent.
  std::size_t begin = 0;
  for (std::size_t i = 0; i + 1 < folder;) {
    if (IsLead(path[i])) {
      i += 2;
      continue;
    }
    if (path[i] == '\\') begin = i + 1;
    ++i;
  }
  std::size_t length = folder - 1 - begin;
  std::size_t n = CopyCut(out, size, path + begin, length);
  if (n == length && n > 0 && out[n - 1] == ':' && n + 1 < size) {
    out[n] = '\\';
    out[n + 1] = '\0';
  }
}

const char* PathExtension(const char* name) {
  std::size_t end = LastSeparatorEnd(name, '.', '.');
  return end > 1 ? name + end - 1 : nullptr;
}

bool MatchesFolder(const char* folderPath, const char* memberPath) {
  std::size_t length = PathFolderLength(folderPath);
  if (!PrefixEqualNoCase(folderPath, memberPath, length)) return false;
  if (std::strlen(memberPath) < length) return false;
  return LastSeparatorEnd(memberPath + length, '\\', '\\') == 0;
}

bool IsValidFileName(const char* name) {
  for (std::size_t i = 0; name[i];) {
    if (IsLead(name[i])) {
      i += name[i + 1] ? 2 : 1;
      continue;
    }
    switch (name[i]) {
      case '"': case '/': case ':': case '<': case '>': case '\\': case '|':
        return false;
      default:
        break;
    }
    ++i;
  }
  return true;
}

// Member paths use "\" and callers join them to a target folder with "\"; on Windows the file
// system takes both "\" and "/". On POSIX the target folder itself is written with "/", so both
// are separators here and every "\" is turned into the platform's separator in the folder names
// handed to the file system (never the second byte of a double-byte character). A prefix that does
// not fit a path buffer is not created: cutting it would create a wrongly named folder.
bool CreatePathDirectories(const char* path) {
  const char native = platform::PathSeparator();
  char prefix[MaxPath];
  bool afterSeparator = true;  // at the start, or just after a separator
  for (std::size_t i = 0; path[i];) {
    if (IsLead(path[i])) {
      if (!path[i + 1]) break;
      i += 2;
      afterSeparator = false;
      continue;
    }
    bool separator = path[i] == '\\' || path[i] == '/';
    // A doubled or leading separator names no new folder.
    if (separator && !afterSeparator && i < MaxPath) {
      std::memcpy(prefix, path, i);
      prefix[i] = '\0';
      for (std::size_t k = 0; k < i; ++k) {
        if (IsLead(prefix[k])) {
          ++k;
          continue;
        }
        if (prefix[k] == '\\') prefix[k] = native;
      }
      platform::MakeDirectory(prefix);
    }
    afterSeparator = separator;
    ++i;
  }
  return true;
}
