// The image of a rewritten archive, written front to back through a buffer, with the old
// archive's bytes read through a window of their own. A commit that keeps a thousand ranges of
// a large archive then makes a few dozen read and write calls instead of three per range.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

class ImageWriter {
 public:
  static constexpr std::uint32_t BufferSize = 0x100000;
  // Memory the writer needs: the output buffer and the window.
  static constexpr std::size_t AreaSize = 2 * std::size_t{BufferSize};

  // `area` holds AreaSize bytes and outlives the writer. Writing starts at the image's current
  // position.
  ImageWriter(platform::FileHandle image, platform::FileHandle archive, std::uint8_t* area)
      : image_(image), archive_(archive), output_(area), window_(area + BufferSize) {}
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  bool Write(const void* data, std::uint32_t length);
  // Appends `length` bytes of the old archive from `from` on. A read that fails, or an archive
  // that ends first, sets `*readFailed`.
  bool CopyOld(std::int64_t from, std::int64_t length, bool* readFailed);
  // Writes out what is buffered; the image's position is then where the next byte goes. Call it
  // before using the image file directly.
  bool Flush();

 private:
  platform::FileHandle image_;
  platform::FileHandle archive_;
  std::uint8_t* output_;
  std::uint32_t used_ = 0;
  std::uint8_t* window_;
  std::int64_t windowStart_ = 0;
  std::uint32_t windowLength_ = 0;
};
