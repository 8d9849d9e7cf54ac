#include "archive/PathName.h"

#include <cstring>

#include "archive/NoCase.h"
#include "platform/Platform.h"

namespace {

inline bool IsLead(char c) { return platform::IsDBCSLeadByte(static_cast<unsigned char>(c)); }

// Index just past the last single-byte `wanted`, or 0 when there is none.
std::size_t LastByteEnd(const char* path, char wanted) {
  std::size_t end = 0;
  for (std::size_t i = 0; path[i]; i += PathCharLength(path + i)) {
    if (path[i] == wanted) end = i + 1;
  }
  return end;
}

// PathCharLength of the character at `i` without looking past the first `length` bytes (a
// buffer need not be terminated there).
std::size_t CharLengthWithin(const char* path, std::size_t i, std::size_t length, PathKind kind) {
  return i + 1 < length ? PathCharLength(path + i, kind) : 1;
}

}  // namespace

std::size_t PathCharLength(const char* p, PathKind kind) {
  if (kind == PathKind::Disk && platform::PathSeparator() == '/') return 1;
  return IsLead(p[0]) && p[1] ? 2 : 1;
}

bool IsPathSeparator(char c, PathKind kind) {
  switch (kind) {
    case PathKind::Member:
      return c == '\\';
    case PathKind::Stored:
      return c == '\\' || c == '/';
    case PathKind::Disk:
      return c == '/' || (c == '\\' && platform::PathSeparator() == '\\');
  }
  return false;
}

std::size_t ComponentLength(const char* path, PathKind kind) {
  std::size_t n = 0;
  while (path[n] && !IsPathSeparator(path[n], kind)) n += PathCharLength(path + n, kind);
  return n;
}

std::size_t PathFolderLength(const char* path, PathKind kind) {
  std::size_t end = 0;
  for (std::size_t i = 0; path[i]; i += PathCharLength(path + i, kind)) {
    if (IsPathSeparator(path[i], kind)) end = i + 1;
  }
  return end;
}

std::size_t CountSeparators(const char* path, PathKind kind) {
  std::size_t count = 0;
  for (std::size_t i = 0; path[i]; i += PathCharLength(path + i, kind)) {
    if (IsPathSeparator(path[i], kind)) ++count;
  }
  return count;
}

bool EndsWithSeparator(const char* path, std::size_t length, PathKind kind) {
  return StripTrailingSeparators(path, length, kind) < length;
}

std::size_t StripTrailingSeparators(const char* path, std::size_t length, PathKind kind) {
  // Only a forward walk knows where characters start: a 0x5C byte may be a trail byte.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < length;) {
    bool separator = IsPathSeparator(path[i], kind);
    i += CharLengthWithin(path, i, length, kind);
    if (!separator) kept = i;
  }
  return kept;
}

bool IsBelowFolder(const char* folder, const char* path) {
  std::size_t length = StripTrailingSeparators(folder, std::strlen(folder));
  if (length == 0) return false;
  // Equal prefixes share their character boundaries, so path[length] starts a character.
  return std::strlen(path) > length && IsPathSeparator(path[length]) &&
         PrefixEqualNoCase(path, folder, length);
}

std::string JoinPath(const std::string& folder, const std::string& name, PathKind kind) {
  if (folder.empty() || EndsWithSeparator(folder.c_str(), folder.size(), kind))
    return folder + name;
  char separator = kind == PathKind::Disk ? platform::PathSeparator() : '\\';
  return folder + separator + name;
}

bool JoinPath(char* out, std::size_t size, const char* folder, const char* name, PathKind kind) {
  std::string joined = JoinPath(std::string(folder), std::string(name), kind);
  if (size == 0) return false;
  if (joined.size() >= size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, joined.c_str(), joined.size() + 1);
  return true;
}

void ReplaceSeparators(char* path, std::size_t length, char to, PathKind kind) {
  for (std::size_t i = 0; i < length; i += CharLengthWithin(path, i, length, kind)) {
    if (IsPathSeparator(path[i], kind)) path[i] = to;
  }
}

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

std::size_t PathFolderLength(const char* path) { return PathFolderLength(path, PathKind::Member); }

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
  std::size_t end = LastByteEnd(name, '.');
  return end > 1 ? name + end - 1 : nullptr;
}

bool MatchesFolder(const char* folderPath, const char* memberPath) {
  std::size_t length = PathFolderLength(folderPath);
  if (!PrefixEqualNoCase(folderPath, memberPath, length)) return false;
  if (std::strlen(memberPath) < length) return false;
  return PathFolderLength(memberPath + length) == 0;
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
