#include "archive/ByteSource.h"

#include <cstring>
#include <new>

bool MemorySource::ReadAt(std::int64_t position, void* buffer, std::uint32_t count,
                          std::uint32_t* got) {
  *got = 0;
  if (position < 0) return false;
  if (static_cast<std::uint64_t>(position) >= size_) return true;
  std::size_t available = size_ - static_cast<std::size_t>(position);
  std::size_t n = count < available ? count : available;
  std::memcpy(buffer, bytes_ + position, n);
  *got = static_cast<std::uint32_t>(n);
  return true;
}

FileSource::FileSource(platform::FileHandle file, bool readAhead) : file_(file) {
  if (readAhead) window_ = new (std::nothrow) std::uint8_t[WindowSize];
}

FileSource::~FileSource() { delete[] window_; }

std::int64_t FileSource::Size() {
  if (size_ == -2) {
    size_ = platform::FileSize(file_);
    if (size_ < 0) failed_ = true;
  }
  return size_;
}

bool FileSource::ReadDirect(std::int64_t position, void* buffer, std::uint32_t count,
                            std::uint32_t* got) {
  *got = 0;
  if (platform::SeekFile(file_, position, platform::SeekFrom::Begin) != position ||
      !platform::ReadFile(file_, buffer, count, got)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool FileSource::ReadAt(std::int64_t position, void* buffer, std::uint32_t count,
                        std::uint32_t* got) {
  *got = 0;
  if (position < 0) return false;
  if (!window_ || count > WindowSize) return ReadDirect(position, buffer, count, got);
  bool inside = position >= windowStart_ &&
                position + count <= windowStart_ + static_cast<std::int64_t>(windowFill_);
  if (!inside) {
    windowFill_ = 0;
    if (!ReadDirect(position, window_, WindowSize, &windowFill_)) {
      windowFill_ = 0;
      return false;
    }
    windowStart_ = position;
  }
  std::int64_t offset = position - windowStart_;
  std::uint32_t available = windowFill_ - static_cast<std::uint32_t>(offset);
  std::uint32_t n = count < available ? count : available;
  std::memcpy(buffer, window_ + offset, n);
  *got = n;
  return true;
}
