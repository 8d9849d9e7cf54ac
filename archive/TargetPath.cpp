#include "archive/TargetPath.h"

#include <cstdint>
#include <cstring>

#include "archive/PathName.h"
#include "platform/Platform.h"

namespace {

// Stored member paths separate components with "\" or "/"; converted names are checked for both.
bool IsSeparator(char c) { return IsPathSeparator(c, PathKind::Stored); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 and the console's CONIN$ and CONOUT$ name devices on
// Windows whatever extension follows.
bool IsDeviceName(const char* p, std::size_t n) {
  std::size_t base = 0;
  while (base < n && p[base] != '.') ++base;
  while (base > 0 && p[base - 1] == ' ') --base;
  char u[8] = {};
  if (base == 6 || base == 7) {
    for (std::size_t i = 0; i < base; ++i) u[i] = Upper(p[i]);
    return !std::memcmp(u, base == 6 ? "CONIN$" : "CONOUT$", base);
  }
  if (base != 3 && base != 4) return false;
  for (std::size_t i = 0; i < 3; ++i) u[i] = Upper(p[i]);
  if (base == 3)
    return !std::memcmp(u, "CON", 3) || !std::memcmp(u, "PRN", 3) || !std::memcmp(u, "AUX", 3) ||
           !std::memcmp(u, "NUL", 3);
  return (!std::memcmp(u, "COM", 3) || !std::memcmp(u, "LPT", 3)) && p[3] >= '1' && p[3] <= '9';
}

enum class Component { Skip, Name, Refused };

Component Classify(const char* p, std::size_t n) {
  if (n == 0 || (n == 1 && p[0] == '.')) return Component::Skip;
  bool onlyDots = true;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t c = static_cast<std::uint8_t>(p[i]);
    if (platform::IsDBCSLeadByte(c) && i + 1 < n) {
      onlyDots = false;
      ++i;
      continue;
    }
    if (c == ':') return Component::Refused;
    if (c != '.' && c != ' ') onlyDots = false;
  }
  // ".." and anything that Win32 would trim down to it ("...", ". .").
  if (onlyDots) return Component::Refused;
  if (IsDeviceName(p, n)) return Component::Refused;
  return Component::Name;
}

// A converted component must still be one plain name.
bool IsPlainName(const char* p) {
  std::size_t n = std::strlen(p);
  if (n == 0 || (n == 1 && p[0] == '.') || (n == 2 && p[0] == '.' && p[1] == '.')) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (IsSeparator(p[i]) || p[i] == ':') return false;
  return true;
}

}  // namespace

bool IsSafeMemberPath(const char* memberPath) {
  if (!memberPath) return false;
  if (IsSeparator(memberPath[0])) {
    if (IsSeparator(memberPath[1])) return false;  // "\\server\share", "\\?\", "//host"
    ++memberPath;
  }
  if (!*memberPath) return false;
  bool any = false;
  for (const char* p = memberPath;;) {
    std::size_t n = ComponentLength(p, PathKind::Stored);
    Component kind = Classify(p, n);
    if (kind == Component::Refused) return false;
    if (kind == Component::Name) any = true;
    p += n;
    if (!*p) break;
    ++p;
  }
  return any;
}

bool MakeTargetPath(const char* folder, const char* memberPath, char* out, std::size_t size,
                    NameConverter convert, void* context) {
  if (size == 0) return false;
  out[0] = '\0';
  if (!IsSafeMemberPath(memberPath)) return false;
  const char separator = platform::PathSeparator();
  std::size_t length = std::strlen(folder);
  if (length + 1 >= size) return false;
  std::memcpy(out, folder, length);
  if (length > 0 && !EndsWithSeparator(out, length, PathKind::Disk)) out[length++] = separator;
  char component[TargetPathSize];
  char converted[TargetPathSize];
  for (const char* p = memberPath;;) {
    std::size_t n = ComponentLength(p, PathKind::Stored);
    if (Classify(p, n) == Component::Name) {
      if (n >= sizeof component) {
        out[0] = '\0';
        return false;
      }
      std::memcpy(component, p, n);
      component[n] = '\0';
      const char* name = component;
      if (convert && convert(context, component, converted, sizeof converted)) {
        if (!IsPlainName(converted)) {
          out[0] = '\0';
          return false;
        }
        name = converted;
      }
      std::size_t nameLength = std::strlen(name);
      if (length + nameLength + 2 > size) {
        out[0] = '\0';
        return false;
      }
      std::memcpy(out + length, name, nameLength);
      length += nameLength;
      out[length++] = separator;
    }
    p += n;
    if (!*p) break;
    ++p;
  }
  // Drop the separator after the last component.
  out[length - 1] = '\0';
  return true;
}

bool LinkOnTheWay(const char* folder, const char* target) {
  const std::size_t start = std::strlen(folder);
  std::string prefix;
  for (std::size_t i = 0; target[i]; i += PathCharLength(target + i, PathKind::Disk)) {
    if (i > start && IsPathSeparator(target[i], PathKind::Disk) && platform::IsLink(prefix.c_str()))
      return true;
    prefix.append(target + i, PathCharLength(target + i, PathKind::Disk));
  }
  return platform::IsLink(target);
}

std::string SameFileKey(const char* target) {
  if (platform::PathSeparator() != '\\') return target;
  std::string key;
  std::size_t componentStart = 0;
  // Win32 drops the dots and spaces that end a component before it looks the name up.
  auto trimComponent = [&] {
    while (key.size() > componentStart && (key.back() == '.' || key.back() == ' ')) key.pop_back();
  };
  for (std::size_t i = 0; target[i]; i += PathCharLength(target + i, PathKind::Disk)) {
    const std::size_t n = PathCharLength(target + i, PathKind::Disk);
    if (IsPathSeparator(target[i], PathKind::Disk)) {
      trimComponent();
      key += '\\';
      componentStart = key.size();
    } else if (n == 1) {
      key += Upper(target[i]);
    } else {
      key.append(target + i, n);
    }
  }
  trimComponent();
  return key;
}
