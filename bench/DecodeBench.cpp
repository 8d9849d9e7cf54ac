// Decode throughput of DecodeStream, memory to memory.
//
// Usage: decode_bench ARCHIVE.lzh [ROUNDS]
// Decodes the first member of a level-2 archive (as written by other archivers, e.g. with
// "a2o5q") ROUNDS times and prints the best and median rate in MB/s of original data. Only the
// fixed fields of the level-2 base header are read: this is a measuring tool, not a reader.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/Crc16.h"
#include "codec/BitReader.h"
#include "codec/Decoder.h"

namespace {

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ARCHIVE.lzh [ROUNDS]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<unsigned char> file;
  unsigned char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
    file.insert(file.end(), chunk, chunk + n);
  }
  std::fclose(f);
  if (file.size() < 26 || file[20] != 2) {
    std::fprintf(stderr, "not a level-2 archive\n");
    return 1;
  }
  const std::uint32_t headerSize = file[0] | (file[1] << 8);
  const std::uint32_t packedSize = Le32(&file[7]);
  const std::uint32_t originalSize = Le32(&file[11]);
  const std::uint16_t crc = std::uint16_t(file[21] | (file[22] << 8));
  const int method = file[5] - '0';
  if (std::size_t{headerSize} + packedSize > file.size()) {
    std::fprintf(stderr, "member data truncated\n");
    return 1;
  }
  std::vector<std::uint8_t> packed(file.begin() + headerSize,
                                   file.begin() + headerSize + packedSize);
  packed.resize(packed.size() + codec::ReaderLookahead, 0);
  std::vector<std::uint8_t> output(originalSize);
  std::vector<std::uint32_t> work(codec::DecodeWorkSize / sizeof(std::uint32_t));

  std::vector<double> seconds, cpuSeconds;
  for (int i = 0; i < rounds; ++i) {
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const int result = codec::DecodeStream(output.data(), packed.data(), packedSize, method,
                                           originalSize, work.data());
    const auto stop = std::chrono::steady_clock::now();
    cpuSeconds.push_back(double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    if (result != codec::DecodeOk) {
      std::fprintf(stderr, "DecodeStream failed: %d\n", result);
      return 1;
    }
    seconds.push_back(std::chrono::duration<double>(stop - start).count());
  }
  const bool crcOk = ComputeCrc16(output.data(), output.size()) == crc;
  std::sort(seconds.begin(), seconds.end());
  std::sort(cpuSeconds.begin(), cpuSeconds.end());
  const double mb = originalSize / 1e6;
  // CPU time is the steadier figure on a shared machine; wall time is what a user waits.
  std::printf("-lh%d- %u -> %u bytes, crc %s, best %.1f MB/s, median %.1f MB/s, best by CPU time "
              "%.1f MB/s (%d rounds)\n",
              method, packedSize, originalSize, crcOk ? "ok" : "MISMATCH", mb / seconds.front(),
              mb / seconds[seconds.size() / 2], mb / cpuSeconds.front(), rounds);
  return crcOk ? 0 : 1;
}
