#include "archive/ImageWriter.h"

#include <cstring>

bool ImageWriter::Flush() {
  if (used_ == 0) return true;
  const bool ok = platform::WriteFile(image_, output_, used_);
  used_ = 0;
  return ok;
}

bool ImageWriter::Write(const void* data, std::uint32_t length) {
  if (length > BufferSize - used_ && !Flush()) return false;
  if (length >= BufferSize) return platform::WriteFile(image_, data, length);
  std::memcpy(output_ + used_, data, length);
  used_ += length;
  return true;
}

bool ImageWriter::CopyOld(std::int64_t from, std::int64_t length, bool* readFailed) {
  while (length > 0) {
    if (from < windowStart_ || from >= windowStart_ + windowLength_) {
      std::uint32_t got = 0;
      if (platform::SeekFile(archive_, from, platform::SeekFrom::Begin) != from ||
          !platform::ReadFile(archive_, window_, BufferSize, &got) || got == 0) {
        windowLength_ = 0;
        *readFailed = true;
        return false;
      }
      windowStart_ = from;
      windowLength_ = got;
    }
    const auto offset = static_cast<std::uint32_t>(from - windowStart_);
    std::uint32_t count = windowLength_ - offset;
    if (count > length) count = static_cast<std::uint32_t>(length);
    if (!Write(window_ + offset, count)) return false;
    from += count;
    length -= count;
  }
  return true;
}
