#include "archive/CommitJournal.h"

#include <cstring>

#include "archive/Crc16.h"

using platform::FileHandle;

namespace {

constexpr char JournalMagic[8] = {'T', 'N', 'J', 'O', 'U', 'R', 'N', '1'};
constexpr std::uint32_t SpanBytes = 24;
constexpr std::uint32_t FixedTrailerBytes = 8 * 3 + 4 + 4 + sizeof JournalMagic;
static_assert(FixedTrailerBytes == 40, "the fixed part of the trailer is 40 bytes");

void PutInt(std::uint8_t* at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetInt(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

bool ReadExactly(FileHandle file, std::int64_t at, void* buffer, std::uint32_t count) {
  std::uint32_t got = 0;
  return platform::SeekFile(file, at, platform::SeekFrom::Begin) == at &&
         platform::ReadFile(file, buffer, count, &got) && got == count;
}

}  // namespace

bool CopyFileRange(FileHandle source, std::int64_t from, std::int64_t length, FileHandle target,
                   std::uint8_t* buffer, std::uint16_t* crc, bool* readFailed) {
  if (platform::SeekFile(source, from, platform::SeekFrom::Begin) != from) {
    *readFailed = true;
    return false;
  }
  std::uint16_t running = 0;
  while (length > 0) {
    std::uint32_t want = length < CopyChunk ? static_cast<std::uint32_t>(length) : CopyChunk;
    std::uint32_t got = 0;
    if (!platform::ReadFile(source, buffer, want, &got) || got != want) {
      *readFailed = true;
      return false;
    }
    if (crc) running = UpdateCrc16(running, buffer, got);
    if (!platform::WriteFile(target, buffer, got)) return false;
    length -= got;
  }
  if (crc) *crc = running;
  return true;
}

bool SealJournal(FileHandle journal, const JournalPlan& plan) {
  // The image must be on the disk before the trailer that vouches for it.
  if (!platform::FlushFile(journal)) return false;
  std::vector<std::uint8_t> trailer(plan.spans.size() * SpanBytes + FixedTrailerBytes);
  std::uint8_t* at = trailer.data();
  for (const JournalSpan& span : plan.spans) {
    PutInt(at, static_cast<std::uint64_t>(span.imageAt), 8);
    PutInt(at + 8, static_cast<std::uint64_t>(span.archiveAt), 8);
    PutInt(at + 16, static_cast<std::uint64_t>(span.length), 8);
    at += SpanBytes;
  }
  PutInt(at, static_cast<std::uint64_t>(plan.oldLength), 8);
  PutInt(at + 8, static_cast<std::uint64_t>(plan.newLength), 8);
  PutInt(at + 16, static_cast<std::uint64_t>(plan.imageLength), 8);
  PutInt(at + 24, plan.spans.size(), 4);
  const std::uint16_t crc =
      UpdateCrc16(0, trailer.data(), static_cast<std::size_t>(at + 28 - trailer.data()));
  PutInt(at + 28, crc, 4);
  std::memcpy(at + 32, JournalMagic, sizeof JournalMagic);
  return platform::SeekFile(journal, plan.imageLength, platform::SeekFrom::Begin) ==
             plan.imageLength &&
         platform::WriteFile(journal, trailer.data(), static_cast<std::uint32_t>(trailer.size())) &&
         platform::SetEndOfFile(journal) && platform::FlushFile(journal);
}

JournalState ReadJournal(FileHandle journal, JournalPlan* plan) {
  const std::int64_t size = platform::FileSize(journal);
  if (size < 0) return JournalState::Unreadable;
  if (size < FixedTrailerBytes) return JournalState::Unsealed;
  std::uint8_t fixed[FixedTrailerBytes];
  if (!ReadExactly(journal, size - FixedTrailerBytes, fixed, FixedTrailerBytes))
    return JournalState::Unreadable;
  if (std::memcmp(fixed + 32, JournalMagic, sizeof JournalMagic) != 0)
    return JournalState::Unsealed;
  const auto count = static_cast<std::uint32_t>(GetInt(fixed + 24, 4));
  const std::int64_t spanBytes = std::int64_t{count} * SpanBytes;
  JournalPlan read;
  read.oldLength = static_cast<std::int64_t>(GetInt(fixed, 8));
  read.newLength = static_cast<std::int64_t>(GetInt(fixed + 8, 8));
  read.imageLength = static_cast<std::int64_t>(GetInt(fixed + 16, 8));
  if (read.imageLength < 0 || read.newLength < 0 || read.oldLength < 0 ||
      spanBytes + 28 > 0x7FFFFFFF || read.imageLength + spanBytes + FixedTrailerBytes != size)
    return JournalState::Unsealed;
  std::vector<std::uint8_t> spans;
  try {
    spans.resize(static_cast<std::size_t>(spanBytes) + 28);
    read.spans.reserve(count);
  } catch (...) {
    return JournalState::Unreadable;
  }
  if (!ReadExactly(journal, read.imageLength, spans.data(),
                   static_cast<std::uint32_t>(spanBytes + 28)))
    return JournalState::Unreadable;
  if (UpdateCrc16(0, spans.data(), spans.size()) != GetInt(fixed + 28, 4))
    return JournalState::Unsealed;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* at = spans.data() + std::size_t{i} * SpanBytes;
    JournalSpan span{static_cast<std::int64_t>(GetInt(at, 8)),
                     static_cast<std::int64_t>(GetInt(at + 8, 8)),
                     static_cast<std::int64_t>(GetInt(at + 16, 8))};
    if (span.imageAt < 0 || span.archiveAt < 0 || span.length < 0 ||
        span.length > read.imageLength - span.imageAt ||
        span.length > read.newLength - span.archiveAt)
      return JournalState::Unsealed;
    read.spans.push_back(span);
  }
  *plan = std::move(read);
  return JournalState::Sealed;
}

bool ApplyJournal(FileHandle journal, FileHandle archive, const JournalPlan& plan,
                  std::uint8_t* buffer) {
  if (!platform::ReserveFileSize(archive, plan.newLength)) return false;
  for (const JournalSpan& span : plan.spans) {
    bool readFailed = false;
    if (platform::SeekFile(archive, span.archiveAt, platform::SeekFrom::Begin) != span.archiveAt ||
        !CopyFileRange(journal, span.imageAt, span.length, archive, buffer, nullptr,
                       &readFailed))
      return false;
  }
  // The new bytes are on the disk before the old tail goes: cut short first, a crash would leave
  // an archive that is neither old nor new until the journal is applied again.
  if (plan.newLength < plan.oldLength &&
      (!platform::FlushFile(archive) ||
       platform::SeekFile(archive, plan.newLength, platform::SeekFrom::Begin) != plan.newLength ||
       !platform::SetEndOfFile(archive)))
    return false;
  return platform::FlushFile(archive);
}
