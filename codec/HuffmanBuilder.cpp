#include "codec/HuffmanBuilder.h"

namespace codec {

namespace {
constexpr int HeapEntries = LiteralLengthSymbols + 1;
constexpr std::size_t ArrayBytes =
    sizeof(std::uint16_t) * (2 * BranchEntries + HeapEntries + LiteralLengthSymbols);
}  // namespace

HuffmanBuilder::HuffmanBuilder() : memory_(ArrayBytes) {
  auto* base = reinterpret_cast<std::uint16_t*>(memory_.data());
  left_ = base;
  right_ = base ? base + BranchEntries : nullptr;
  heap_ = base ? base + 2 * BranchEntries : nullptr;
  sortList_ = base ? base + 2 * BranchEntries + HeapEntries : nullptr;
}

// Sifts heap position i down: the smaller child moves up (the left one on equal frequencies)
// until the node's frequency is at most its child's.
void HuffmanBuilder::DownHeap(int i) {
  const std::uint16_t* freq = freq_;
  std::uint16_t* heap = heap_;
  const int size = heapSize_;
  const std::uint16_t node = heap[i];
  int j;
  while ((j = 2 * i) <= size) {
    if (j < size && freq[heap[j]] > freq[heap[j + 1]]) ++j;
    if (freq[node] <= freq[heap[j]]) break;
    heap[i] = heap[j];
    i = j;
  }
  heap[i] = node;
}

// Leaves per depth; anything deeper than the longest allowed code counts at that length.
void HuffmanBuilder::CountDepths(int root) {
  for (auto& c : depthCount_) c = 0;
  // Explicit stack: a degenerate tree is up to symbolCount - 1 levels deep.
  std::uint16_t nodes[LiteralLengthSymbols];
  std::uint16_t depths[LiteralLengthSymbols];
  int top = 0;
  nodes[top] = static_cast<std::uint16_t>(root);
  depths[top] = 0;
  ++top;
  while (top > 0) {
    --top;
    const int node = nodes[top];
    const int depth = depths[top];
    if (node < symbolCount_) {
      ++depthCount_[depth < MaxCodeLength ? depth : MaxCodeLength];
      continue;
    }
    nodes[top] = left_[node];
    depths[top] = static_cast<std::uint16_t>(depth + 1);
    nodes[top + 1] = right_[node];
    depths[top + 1] = static_cast<std::uint16_t>(depth + 1);
    top += 2;
  }
}

// Clipping deep leaves to 16 over-subscribes the code space; move leaves down from shorter lengths
// until the Kraft sum is exactly 2^16 again.
void HuffmanBuilder::LimitDepths() {
  std::uint32_t sum = 0;
  for (int k = 1; k <= MaxCodeLength; ++k) sum += std::uint32_t{depthCount_[k]} << (MaxCodeLength - k);
  if (sum <= 0x10000u) return;  // a full tree never sums below 2^16
  for (std::uint32_t excess = sum - 0x10000u; excess != 0; --excess) {
    --depthCount_[MaxCodeLength];
    for (int k = MaxCodeLength - 1; k >= 1; --k) {
      if (depthCount_[k] != 0) {
        --depthCount_[k];
        depthCount_[k + 1] += 2;
        break;
      }
    }
  }
}

int HuffmanBuilder::MakeTree(int symbolCount, std::uint16_t* freq, std::uint8_t* lengths,
                             std::uint16_t* codes) {
  symbolCount_ = symbolCount;
  freq_ = freq;
  heapSize_ = 0;
  heap_[1] = 0;
  for (int i = 0; i < symbolCount; ++i) {
    lengths[i] = 0;
    if (freq[i] != 0) heap_[++heapSize_] = static_cast<std::uint16_t>(i);
  }
  if (heapSize_ < 2) {
    codes[heap_[1]] = 0;
    return heap_[1];
  }
  for (int i = heapSize_ / 2; i >= 1; --i) DownHeap(i);

  int sorted = 0;
  int next = symbolCount;
  int node = next;
  while (heapSize_ > 1) {
    const int i = heap_[1];
    if (i < symbolCount) sortList_[sorted++] = static_cast<std::uint16_t>(i);
    heap_[1] = heap_[heapSize_--];
    DownHeap(1);
    const int j = heap_[1];
    if (j < symbolCount) sortList_[sorted++] = static_cast<std::uint16_t>(j);
    node = next++;
    freq[node] = static_cast<std::uint16_t>(freq[i] + freq[j]);
    heap_[1] = static_cast<std::uint16_t>(node);
    DownHeap(1);
    left_[node] = static_cast<std::uint16_t>(i);
    right_[node] = static_cast<std::uint16_t>(j);
  }

  CountDepths(node);
  LimitDepths();

  // The least frequent symbols left the heap first and take the longest codes.
  int cursor = 0;
  for (int k = MaxCodeLength; k >= 1; --k) {
    for (int c = depthCount_[k]; c > 0; --c) lengths[sortList_[cursor++]] = static_cast<std::uint8_t>(k);
  }

  std::uint16_t start[MaxCodeLength + 2];
  start[1] = 0;
  for (int k = 1; k <= MaxCodeLength; ++k)
    start[k + 1] = static_cast<std::uint16_t>((start[k] + depthCount_[k]) << 1);
  for (int i = 0; i < symbolCount; ++i) {
    if (lengths[i] != 0) codes[i] = start[lengths[i]]++;
  }
  return node;
}

}  // namespace codec

