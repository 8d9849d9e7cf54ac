#include "codec/DecodeTable.h"

#include <cstring>

namespace codec {

bool MakeDecodeTable(int symbolCount, const std::uint8_t* lengths, int tableBits,
                     std::uint32_t* table, DecodeBranches* branches) {
  const std::uint32_t entries = std::uint32_t{1} << tableBits;
  std::memset(table, 0, entries * sizeof(std::uint32_t));

  int longest = 0;
  for (int s = 0; s < symbolCount; ++s) {
    if (lengths[s] > longest) longest = lengths[s];
  }

  // Codes are handed out in canonical order: by length, then by symbol. The cursor is the next
  // free code left-aligned in 32 bits, so a code of length k advances it by 2^(32-k).
  std::uint32_t nextNode = std::uint32_t(symbolCount);
  std::uint32_t cursor = 0;
  bool full = false;
  for (int k = 1; k <= longest && k <= 32 && !full; ++k) {
    const std::uint32_t step = std::uint32_t(std::uint64_t{1} << (32 - k));
    for (int s = 0; s < symbolCount && !full; ++s) {
      if (lengths[s] != k) continue;
      std::uint32_t index = cursor >> (32 - tableBits);
      if (k <= tableBits) {
        const std::uint32_t leaf = std::uint32_t(s) | (std::uint32_t(k) << EntryLengthShift);
        const std::uint32_t fill = std::uint32_t{1} << (tableBits - k);
        for (std::uint32_t i = 0; i < fill; ++i) table[index + i] = leaf;
      } else {
        std::uint32_t* slot = &table[index];
        for (int bit = 31 - tableBits; bit > 31 - k; --bit) {
          if (*slot == 0) {
            if (nextNode >= std::uint32_t(BranchEntries)) return false;
            branches->one[nextNode] = 0;
            branches->zero[nextNode] = 0;
            *slot = nextNode++;
          }
          const std::uint32_t node = *slot;
          slot = ((cursor >> bit) & 1) ? &branches->one[node] : &branches->zero[node];
        }
        *slot = std::uint32_t(s);
      }
      const std::uint32_t next = cursor + step;
      full = next <= cursor;  // carried past 2^32: the code space is used up
      cursor = next;
    }
  }

  // Holes of an under-subscribed code decode as symbol 0 with symbol 0's length.
  if (symbolCount > 0) {
    const std::uint32_t hole = std::uint32_t(lengths[0]) << EntryLengthShift;
    for (std::uint32_t i = 0; i < entries; ++i) {
      if (table[i] == 0) table[i] = hole;
    }
  }
  return true;
}

void MakeSingleSymbolTable(std::uint32_t symbol, int tableBits, std::uint32_t* table) {
  const std::uint32_t entries = std::uint32_t{1} << tableBits;
  for (std::uint32_t i = 0; i < entries; ++i) table[i] = symbol;
}

}  // namespace codec
