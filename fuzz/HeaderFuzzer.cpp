// ReadHeader over arbitrary bytes, walking the header chain as a scan does (with the retry after a
// 128-byte block), and WriteHeader over every record that was read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "archive/ByteSource.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"

namespace {

// A text field must end inside its buffer.
void CheckTerminated(const char* field, std::size_t size) {
  if (std::memchr(field, 0, size) == nullptr) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemorySource source(data, size);
  for (std::int64_t start : {std::int64_t{0}, std::int64_t{128}}) {
    std::int64_t position = start;
    for (int member = 0; member < 4096; ++member) {
      ArchiveEntry entry;
      const std::int64_t next = ReadHeader(source, position, &entry);
      if (next == 0) break;
      if (next <= position) __builtin_trap();  // the chain must move forward
      CheckTerminated(entry.method, sizeof entry.method);
      CheckTerminated(entry.directory, sizeof entry.directory);
      CheckTerminated(entry.name, sizeof entry.name);
      CheckTerminated(entry.comment, sizeof entry.comment);
      if (entry.packedSize < 0 || entry.dataOffset < position) __builtin_trap();

      std::uint8_t header[lzh::HeaderBufferSize];
      const std::size_t length = WriteHeader(entry, header);
      if (length > sizeof header) __builtin_trap();
      position = next;
    }
  }
  return 0;
}
