#include "codec/ByteStream.h"

#include <cstdlib>
#include <cstring>

namespace codec {

std::uint32_t FileInput::Read(void* buffer, std::uint32_t count) {
  std::uint32_t got = 0;
  // On an error `got` still holds what arrived before it; the caller sees a short read, which
  // ends its input, and can ask failed() whether the end was real.
  if (!platform::ReadFile(file_, buffer, count, &got)) failed_ = true;
  return got <= count ? got : 0;
}

bool FileOutput::Write(const void* buffer, std::uint32_t count) {
  return count == 0 || platform::WriteFile(file_, buffer, count);
}

std::uint32_t MemoryInput::Read(void* buffer, std::uint32_t count) {
  std::size_t left = size_ - offset_;
  std::uint32_t n = left < count ? static_cast<std::uint32_t>(left) : count;
  if (n != 0) std::memcpy(buffer, data_ + offset_, n);
  offset_ += n;
  return n;
}

MemoryOutput::~MemoryOutput() { std::free(data_); }

bool MemoryOutput::Write(const void* buffer, std::uint32_t count) {
  if (failed_) return false;
  if (count == 0) return true;
  if (capacity_ - size_ < count) {
    std::size_t wanted = capacity_ ? capacity_ : 4096;
    while (wanted - size_ < count) {
      if (wanted > SIZE_MAX / 2) {
        failed_ = true;
        return false;
      }
      wanted *= 2;
    }
    void* grown = std::realloc(data_, wanted);
    if (!grown) {
      failed_ = true;
      return false;
    }
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = wanted;
  }
  std::memcpy(data_ + size_, buffer, count);
  size_ += count;
  return true;
}

}  // namespace codec
