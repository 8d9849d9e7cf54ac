// Lookup tables that turn canonical code lengths into a fast decoder.
//
// A direct table has 2^tableBits 32-bit entries indexed by the next tableBits bits of the stream.
// An entry whose low 16 bits are below the code's symbol count is a symbol; its code length is
// kept in bits 16..23 so that a symbol costs one table access (an entry of 0 is symbol 0 with the
// length of symbol 0, which is what a hole in an under-subscribed code decodes to). A larger
// entry is the number of a tree node for codes longer than tableBits: the walk goes on with the
// following bits of the stream, taking the node's one-branch for a 1-bit and its zero-branch for a
// 0-bit, until it reaches a value below the symbol count; that symbol's length is then read from
// the length array.
//
// The branch arrays are shared by the trees of one block: the literal/length tree numbers its
// nodes from 510, the temporary and position trees from their own symbol counts (19, 14 or 17),
// and those small trees stay far below 510.
#pragma once

#include <cstdint>

#include "codec/CodecFormat.h"

namespace codec {

struct DecodeBranches {
  std::uint32_t one[BranchEntries];
  std::uint32_t zero[BranchEntries];
};

constexpr unsigned EntryLengthShift = 16;
constexpr std::uint32_t EntryValueMask = 0xFFFF;

// Builds the direct table (2^tableBits entries) and the tree nodes for longer codes from the
// code lengths (0..MaxCodeLength) of symbolCount symbols. Over-subscribed lengths stop the
// construction when the code space is full (the symbols not placed yet are unreachable);
// under-subscribed lengths leave holes that decode as symbol 0. False only when the tree would
// need more nodes than the branch arrays hold, which no code of at most MaxCodeLength bits does.
bool MakeDecodeTable(int symbolCount, const std::uint8_t* lengths, int tableBits,
                     std::uint32_t* table, DecodeBranches* branches);

// The table of a code with a single symbol (transmitted with count 0): every entry is that
// symbol and decoding it consumes no bits.
void MakeSingleSymbolTable(std::uint32_t symbol, int tableBits, std::uint32_t* table);

}  // namespace codec
