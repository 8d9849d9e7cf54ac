// The byte sources and sinks the codec reads and writes through. The encoder works on these small
// interfaces rather than on file handles so that the same code runs over platform files (staging
// into temporary files) and over memory (tests, benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

namespace codec {

class ByteInput {
 public:
  virtual ~ByteInput() = default;
  // Reads up to `count` bytes into `buffer` and returns how many were read. 0 means the end of the
  // input; a read error ends the input the same way (whatever was read before it is returned).
  virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
  // True once a read failed (rather than reaching the end): the bytes read are then incomplete.
  virtual bool failed() const { return false; }
};

class ByteOutput {
 public:
  virtual ~ByteOutput() = default;
  // Writes all `count` bytes; false when they could not all be written.
  virtual bool Write(const void* buffer, std::uint32_t count) = 0;
};

// Reads an open platform file from its current position.
class FileInput final : public ByteInput {
 public:
  explicit FileInput(platform::FileHandle file) : file_(file) {}
  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  bool failed() const override { return failed_; }

 private:
  platform::FileHandle file_;
  bool failed_ = false;
};

// Appends to an open platform file at its current position.
class FileOutput final : public ByteOutput {
 public:
  explicit FileOutput(platform::FileHandle file) : file_(file) {}
  bool Write(const void* buffer, std::uint32_t count) override;

 private:
  platform::FileHandle file_;
};

// Reads a caller's memory area; the area must outlive the input.
class MemoryInput final : public ByteInput {
 public:
  MemoryInput(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  std::uint32_t Read(void* buffer, std::uint32_t count) override;
  std::size_t consumed() const { return offset_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

// Collects written bytes in a growing heap buffer. A failed allocation makes that write (and every
// later one) fail, as a full disk would.
class MemoryOutput final : public ByteOutput {
 public:
  MemoryOutput() = default;
  ~MemoryOutput() override;
  MemoryOutput(const MemoryOutput&) = delete;
  MemoryOutput& operator=(const MemoryOutput&) = delete;

  bool Write(const void* buffer, std::uint32_t count) override;
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool failed_ = false;
};

}  // namespace codec
