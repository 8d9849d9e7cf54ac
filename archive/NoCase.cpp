#include "archive/NoCase.h"

#include "platform/Platform.h"

namespace {

inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

constexpr std::uint64_t FnvOffset = 0xCBF29CE484222325ULL;
constexpr std::uint64_t FnvPrime = 0x100000001B3ULL;

// Shared walk of CompareNoCase and PrefixEqualNoCase; `limit` bounds the bytes looked at.
int CompareFolded(const char* a, const char* b, std::size_t limit) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  bool trail = false;  // both strings sit on the second byte of the same double-byte character
  for (std::size_t i = 0; i < limit; ++i) {
    unsigned char cx = x[i];
    unsigned char cy = y[i];
    unsigned char fx = trail ? cx : FoldAscii(cx);
    unsigned char fy = trail ? cy : FoldAscii(cy);
    if (fx != fy) return fx < fy ? -1 : 1;
    if (cx == 0) return 0;
    // Equal bytes so far: both are lead bytes or neither is.
    trail = !trail && platform::IsDBCSLeadByte(cx);
  }
  return 0;
}

}  // namespace

int CompareNoCase(const char* a, const char* b) {
  return CompareFolded(a, b, static_cast<std::size_t>(-1));
}

bool PrefixEqualNoCase(const char* a, const char* b, std::size_t length) {
  return CompareFolded(a, b, length) == 0;
}

std::uint64_t HashKey(const char* key) {
  std::uint64_t h = FnvOffset;
  for (const auto* p = reinterpret_cast<const unsigned char*>(key); *p; ++p) {
    h ^= *p;
    h *= FnvPrime;
  }
  return h;
}

std::uint64_t HashKeyNoCase(const char* key) {
  std::uint64_t h = FnvOffset;
  bool trail = false;
  for (const auto* p = reinterpret_cast<const unsigned char*>(key); *p; ++p) {
    h ^= trail ? *p : FoldAscii(*p);
    h *= FnvPrime;
    trail = !trail && platform::IsDBCSLeadByte(*p);
  }
  return h;
}
