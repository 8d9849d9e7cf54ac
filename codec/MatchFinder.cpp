#include "codec/MatchFinder.h"

#include <cstring>

#include "archive/Crc16.h"

namespace codec {

namespace {

constexpr std::size_t ArrayBytes = MatchFinder::TextSize + MatchFinder::HashSize * 4 +
                                   MatchFinder::MaxChain * MatchFinder::Links * 4 +
                                   MatchFinder::HashSize;

// Number of equal leading bytes of a and b, at most `limit`. May read up to 7 bytes past
// a + limit and b + limit: the text buffer has room behind every position's longest match.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (std::uint32_t n = 0;; n += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) {
      n += static_cast<std::uint32_t>(__builtin_ctzll(x ^ y) >> 3);
      return n < limit ? n : limit;
    }
    if (n + 8 >= limit) return limit;
  }
#else
  std::uint32_t n = 0;
  while (n < limit && a[n] == b[n]) ++n;
  return n;
#endif
}

inline std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

}  // namespace

MatchFinder::MatchFinder() : memory_(ArrayBytes) {
  std::uint8_t* base = memory_.data();
  if (!base) {
    text_ = longChain_ = nullptr;
    heads_ = chain_ = nullptr;
    return;
  }
  text_ = base;
  heads_ = reinterpret_cast<std::uint32_t*>(base + TextSize);
  chain_ = heads_ + HashSize;
  longChain_ = reinterpret_cast<std::uint8_t*>(chain_ + Links * MaxChain);
}

// Reads into the text buffer, keeping the CRC and the byte count. A short read ends the input for
// good: a later read must not append bytes after a gap.
//
// The search looks up to MaxMatch + 1 bytes past the position, so past the end of the input too;
// those bytes can decide between candidates (and the hash of the last positions). They are made
// what a buffer of two windows that slides every window held there, so that archives come out
// byte for byte as they always did: zeros when the whole input fitted into its first read, else
// the bytes one window back.
std::uint32_t MatchFinder::Fill(std::uint8_t* to, std::uint32_t count) {
  std::uint32_t got = 0;
  if (!inputEnded_ && count != 0) {
    got = input_->Read(to, count);
    if (got > count) got = 0;
    if (got < count) inputEnded_ = true;
    crc_ = UpdateCrc16(crc_, to, got);
    bytesRead_ += got;
  }
  std::uint32_t past = count - got;
  if (past > MaxMatch + 1) past = MaxMatch + 1;
  std::uint8_t* end = to + got;
  if (bytesRead_ < TwoWindowText - window_) {
    std::memset(end, 0, past);
  } else {
    // At least one window of input precedes `end` (the input is longer than a window).
    const std::uint8_t* back = end - window_;
    for (std::uint32_t i = 0; i < past; ++i) end[i] = back[i];
  }
  return got;
}

void MatchFinder::Start(std::uint32_t window, ByteInput* input) {
  input_ = input;
  inputEnded_ = false;
  crc_ = 0;
  bytesRead_ = 0;
  window_ = window;
  windowMask_ = window - 1;
  chainBudget_ = window <= SmallWindow ? SmallWindowChainBudget : ChainBudget;
  std::memset(heads_, 0, HashSize * sizeof *heads_);
  std::memset(longChain_, 0, HashSize);
  position_ = window;
  nextSlide_ = 2 * window;
  lowerBound_ = window;
  twoWindowRead_ = TwoWindowText - window;
  remaining_ = Fill(text_ + window, TextSize - window);
  matchLength_ = remaining_ < 2 ? remaining_ : 2;
  matchPosition_ = position_;
  const std::uint8_t* t = text_ + position_;
  hash_ = ((((std::uint32_t{t[0]} << 5) ^ t[1]) << 5) ^ t[2]) & HashMask;
}

namespace {

// Lowers every entry by `delta`, to 0 when it would reach 0 or below. `count` is a multiple of 64:
// the fixed inner count lets the compiler do it a vector at a time.
void Rebase(std::uint32_t* entries, std::uint32_t count, std::uint32_t delta) {
  for (std::uint32_t i = 0; i < count; i += 64) {
    std::uint32_t* v = entries + i;
    for (int j = 0; j < 64; ++j) v[j] = v[j] > delta ? v[j] - delta : 0;
  }
}

}  // namespace

bool MatchFinder::PassWindow() {
  nextSlide_ += window_;
  twoWindowRead_ += window_;
  if (position_ == SlideAt) Slide();
  TopUp();
  return true;
}

// Keeps the last window of history and everything ahead of the position, moved to the front.
void MatchFinder::Slide() {
  const std::uint32_t delta = SlideAt - window_;
  lowerBound_ = 0;
  std::memmove(text_, text_ + delta, TextSize - delta);
  position_ -= delta;
  nextSlide_ -= delta;
  Rebase(heads_, HashSize, delta);
  Rebase(chain_, Links * window_, delta);
}

// Reads behind the data up to the end of the buffer: at least as far as the two-window buffer,
// which has read TwoWindowText - window bytes ahead of the start of the current window.
void MatchFinder::TopUp() {
  const std::uint32_t end = position_ + remaining_;
  if (end < TextSize) remaining_ += Fill(text_ + end, TextSize - end);
}

bool MatchFinder::AdvanceInserting(std::uint32_t count) {
  bool slid = false;
  while (count > 0) {
    // Positions before the next window boundary need no check: run them with the state in locals.
    std::uint32_t run = nextSlide_ - position_ - 1;
    if (run > count) run = count;
    const std::uint8_t* t = text_;
    std::uint32_t pos = position_;
    std::uint32_t hash = hash_;
    for (const std::uint32_t end = pos + run; pos != end;) {
      ++pos;
      hash = ((hash << 5) ^ t[pos + 2]) & HashMask;
      Link(pos, hash);
    }
    position_ = pos;
    hash_ = hash;
    remaining_ -= run;
    count -= run;
    if (count == 0) break;
    slid |= Advance();
    Insert();
    --count;
  }
  return slid;
}

namespace {

enum class WalkEnd { Limit, Budget, Longest };

// Walks the chain from `candidate` while candidates lie above `scanLimit`, comparing the text
// `shift` bytes before each candidate with `here`. A candidate replaces the match only when it is
// longer; the walk ends after chainBudget - 1 candidates or on a match of `maxLength`. `length` and
// `matchPos` carry the best match in and out. Each step loads one slot and tries the candidate
// and the positions its links name.
inline WalkEnd WalkChain(const std::uint8_t* t, const std::uint32_t* chain, std::uint32_t mask,
                         std::uint32_t candidate, std::uint32_t scanLimit, std::uint32_t shift,
                         const std::uint8_t* here, std::uint32_t maxLength, int chainBudget,
                         std::uint32_t* length, std::uint32_t* matchPos) {
  std::uint32_t best = *length;
  // A candidate can only beat `best` if it agrees on bytes best - 1 and best; testing both at once
  // rejects most candidates with one comparison. `tailAt` + c is where those bytes of candidate c
  // lie (modulo 2^32: c - shift + best - 1 is never negative).
  std::uint16_t tail = Load16(here + best - 1);
  std::uint32_t tailAt = best - 1 - shift;
  int budget = chainBudget - 1;
  WalkEnd end = WalkEnd::Limit;
  // Counts and compares the candidate `c`; false when the walk ends there (`end` says why).
  auto visit = [&](std::uint32_t c) {
    if (budget-- == 0) {
      end = WalkEnd::Budget;
      return false;
    }
    if (Load16(t + (c + tailAt)) != tail) return true;
    const std::uint32_t n = CommonLength(t + (c - shift), here, maxLength);
    if (n <= best) return true;
    best = n;
    *matchPos = c - shift;
    if (best == maxLength) {
      end = WalkEnd::Longest;
      return false;
    }
    tail = Load16(here + best - 1);
    tailAt = best - 1 - shift;
    return true;
  };
  while (candidate > scanLimit) {
    const std::uint32_t* slot = chain + MatchFinder::Links * (candidate & mask);
    if (!visit(candidate)) break;
    bool more = true;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (std::uint32_t i = 0; i + 1 < MatchFinder::Links; ++i) {
      if (slot[i] <= scanLimit || !visit(slot[i])) {
        more = false;
        break;
      }
    }
    if (!more) break;
    candidate = slot[MatchFinder::Links - 1];
  }
  *length = best;
  return end;
}

}  // namespace

void MatchFinder::SearchAndInsert() {
  const std::uint8_t* t = text_;
  const std::uint32_t pos = position_;
  std::uint32_t length = matchLength_ < 2 ? 2 : matchLength_;
  std::uint32_t maxLength = MaxMatch;
  std::uint32_t matchPos = pos;

  // Skip over buckets known to have long chains: look for the match through a later group of
  // the current text whose chain is short.
  std::uint32_t k = 0;
  std::uint32_t h = hash_;
  while (longChain_[h] && k < MaxSkip) {
    ++k;
    h = ((h << 5) ^ t[pos + k + 2]) & HashMask;
  }
  if (k == MaxSkip) {
    k = 0;
    h = hash_;
  }

  std::uint32_t base = pos > window_ ? pos - window_ : 0;
  if (base < lowerBound_) base = lowerBound_;
  std::uint32_t scanLimit = base + k;

  for (;;) {
    const WalkEnd end = WalkChain(t, chain_, windowMask_, heads_[h], scanLimit, k, t + pos,
                                  maxLength, chainBudget_, &length, &matchPos);
    if (end == WalkEnd::Budget)
      longChain_[h] = 1;
    else if (end == WalkEnd::Limit)
      longChain_[h] = 0;

    if (length > k + 2 || k == 0) break;
    // The skipped search found nothing that reaches past the skipped bytes: search the position's
    // own chain for a short match instead.
    scanLimit -= k;
    maxLength = k + 2;
    k = 0;
    h = hash_;
  }

  matchLength_ = length;
  matchPosition_ = matchPos;
  Insert();
}

}  // namespace codec
