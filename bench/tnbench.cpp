// tnbench [-m METHOD] FILE...
//
// For each file and each method (4..7, or the one given) encodes the file with the real encoder
// into a delete-on-close temporary file, as staging does, decodes the result with DecodeStream,
// checks that the bytes and the CRC-16 match the file, and prints
//   FILE -lhN- in=BYTES out=BYTES enc_MBps=X dec_MBps=Y
// with the best of three runs each (MB = 1,000,000 bytes of original data per second). A file that
// does not compress is reported with out= its own size, dec_MBps=- and "stored", as staging would
// store it. Exit status 1 on any mismatch or failure.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/Crc16.h"
#include "codec/Decoder.h"
#include "codec/LzEncoder.h"
#include "platform/Platform.h"

namespace {

constexpr int Runs = 3;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct EncodeRun {
  int result = -1;
  std::uint32_t packedSize = 0;
  std::uint16_t crc = 0;
  std::vector<std::uint8_t> packed;
  double seconds = 0;
};

// One encoding of `path` into a fresh temporary file; the packed bytes are read back.
bool EncodeOnce(const char* path, int method, EncodeRun* run) {
  platform::FileHandle input = platform::OpenFile(path, platform::OpenMode::ReadExisting);
  if (input == platform::NoFile) {
    std::fprintf(stderr, "tnbench: cannot open %s\n", path);
    return false;
  }
  platform::FileHandle temp = platform::CreateTempFile();
  if (temp == platform::NoFile) {
    platform::CloseFile(input);
    std::fprintf(stderr, "tnbench: cannot create a temporary file\n");
    return false;
  }
  codec::LzEncoder encoder;
  auto start = std::chrono::steady_clock::now();
  run->result = encoder.Encode(temp, input, method, &run->packedSize, &run->crc, nullptr, nullptr);
  run->seconds = Seconds(start);
  bool ok = run->result == 0 || run->result == 1;
  if (run->result == 0) {
    run->packed.assign(run->packedSize + 2, 0);  // the decoder reads two bytes ahead
    std::uint32_t got = 0;
    ok = platform::SeekFile(temp, 0, platform::SeekFrom::Begin) == 0 &&
         platform::ReadFile(temp, run->packed.data(), run->packedSize, &got) &&
         got == run->packedSize;
  }
  platform::CloseFile(temp);
  platform::CloseFile(input);
  if (!ok) std::fprintf(stderr, "tnbench: encoding %s failed (result %d)\n", path, run->result);
  return ok;
}

bool ReadWhole(const char* path, std::vector<std::uint8_t>* bytes) {
  platform::FileHandle file = platform::OpenFile(path, platform::OpenMode::ReadExisting);
  if (file == platform::NoFile) {
    std::fprintf(stderr, "tnbench: cannot open %s\n", path);
    return false;
  }
  const std::int64_t size = platform::FileSize(file);
  bool ok = size >= 0 && size <= 0xFFFFFFFFll;
  std::uint32_t got = 0;
  if (ok) {
    bytes->assign(static_cast<std::size_t>(size), 0);
    ok = platform::ReadFile(file, bytes->data(), static_cast<std::uint32_t>(size), &got) &&
         got == size;
  }
  platform::CloseFile(file);
  if (!ok) std::fprintf(stderr, "tnbench: cannot read %s\n", path);
  return ok;
}

// Best-of-three decoding of `run` into `output`; false when the result is not the original.
bool DecodeBest(const char* path, int method, const EncodeRun& run,
                const std::vector<std::uint8_t>& original, double* seconds) {
  std::vector<std::uint8_t> output(original.size());
  std::vector<std::uint32_t> work(codec::DecodeWorkSize / sizeof(std::uint32_t));
  for (int r = 0; r < Runs; ++r) {
    std::fill(output.begin(), output.end(), 0);
    auto start = std::chrono::steady_clock::now();
    int result = codec::DecodeStream(output.data(), run.packed.data(), run.packedSize, method,
                                     static_cast<std::uint32_t>(original.size()), work.data());
    double t = Seconds(start);
    if (result != codec::DecodeOk || output != original ||
        ComputeCrc16(output.data(), output.size()) != run.crc) {
      std::fprintf(stderr, "tnbench: %s -lh%d-: decoded data does not match (result %d)\n", path,
                   method, result);
      return false;
    }
    if (r == 0 || t < *seconds) *seconds = t;
  }
  return true;
}

bool Bench(const char* path, int method, const std::vector<std::uint8_t>& original) {
  const std::int64_t size = static_cast<std::int64_t>(original.size());

  EncodeRun best;
  for (int r = 0; r < Runs; ++r) {
    EncodeRun run;
    if (!EncodeOnce(path, method, &run)) return false;
    if (r > 0 && (run.result != best.result || run.packed != best.packed)) {
      std::fprintf(stderr, "tnbench: %s: encoding is not repeatable\n", path);
      return false;
    }
    if (r == 0 || run.seconds < best.seconds) best = std::move(run);
  }
  const double mb = static_cast<double>(size) / 1e6;
  if (best.result != 0) {
    std::printf("%s -lh%d- in=%lld out=%lld enc_MBps=%.2f dec_MBps=- stored\n", path, method,
                static_cast<long long>(size), static_cast<long long>(size),
                best.seconds > 0 ? mb / best.seconds : 0.0);
    std::fflush(stdout);
    return true;
  }
  if (best.crc != ComputeCrc16(original.data(), original.size())) {
    std::fprintf(stderr, "tnbench: %s -lh%d-: CRC of the encoder differs\n", path, method);
    return false;
  }
  double decodeSeconds = 0;
  if (!DecodeBest(path, method, best, original, &decodeSeconds)) return false;
  std::printf("%s -lh%d- in=%lld out=%lld enc_MBps=%.2f dec_MBps=%.2f\n", path, method,
              static_cast<long long>(size), static_cast<long long>(best.packedSize),
              best.seconds > 0 ? mb / best.seconds : 0.0,
              decodeSeconds > 0 ? mb / decodeSeconds : 0.0);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int only = 0;
  int first = 1;
  if (argc >= 3 && std::strcmp(argv[1], "-m") == 0) {
    only = std::atoi(argv[2]);
    if (only < 4 || only > 7) {
      std::fprintf(stderr, "tnbench: method must be 4, 5, 6 or 7\n");
      return 2;
    }
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: tnbench [-m METHOD] FILE...\n");
    return 2;
  }
  bool ok = true;
  for (int i = first; i < argc; ++i) {
    std::vector<std::uint8_t> original;
    if (!ReadWhole(argv[i], &original)) {
      ok = false;
      continue;
    }
    for (int method = 4; method <= 7; ++method) {
      if (only != 0 && method != only) continue;
      ok = Bench(argv[i], method, original) && ok;
    }
  }
  return ok ? 0 : 1;
}
