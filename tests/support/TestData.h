// Deterministic member and encoder inputs: text that compresses, and noise that does not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// Deterministic pseudo-random bytes (xorshift), `alphabet` distinct values.
inline std::vector<std::uint8_t> NoiseBytes(std::size_t size, std::uint32_t seed,
                                            int alphabet = 256) {
  std::vector<std::uint8_t> v(size);
  std::uint32_t x = seed ? seed : 1;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x % static_cast<std::uint32_t>(alphabet));
  }
  return v;
}

// Text-like data: words from a small vocabulary (some Japanese), so it compresses as real
// text does.
inline std::vector<std::uint8_t> WordText(std::size_t size, std::uint32_t seed) {
  static const char* const words[] = {"archive ", "member ", "header ", "folder ", "shell ",
                                      "の ", "圧縮 ", "データ ", "window\r\n", "block ",
                                      "symbol ", "length ", "position ", "code ", "table "};
  std::vector<std::uint8_t> v;
  std::uint32_t x = seed ? seed : 1;
  while (v.size() < size) {
    x = x * 1103515245u + 12345u;
    const char* w = words[(x >> 16) % (sizeof words / sizeof *words)];
    while (*w && v.size() < size) v.push_back(static_cast<std::uint8_t>(*w++));
  }
  return v;
}

}  // namespace testsupport
