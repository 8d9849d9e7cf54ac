// Opening and listing a large archive: 100,000 members of 10 bytes each in 100 folders.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "archive/Header.h"
#include "archive/HeaderFormat.h"
#include "archive/StringList.h"

namespace {

constexpr int Members = 100000;

std::string LargeArchive(int level) {
  char path[256];
  std::snprintf(path, sizeof path, "/tmp/tanuvia_bench_level%d.lzh", level);
  FILE* file = std::fopen(path, "wb");
  if (!file) return "";
  std::uint8_t header[lzh::HeaderBufferSize];
  const char data[10] = {};
  for (int i = 0; i < Members; ++i) {
    ArchiveEntry e;
    std::memset(&e, 0, sizeof e);
    e.headerLevel = static_cast<std::uint8_t>(level);
    std::memcpy(e.method, "-lh5-", 5);
    std::snprintf(e.directory, sizeof e.directory, "DIR%02d\\", i % 100);
    std::snprintf(e.name, sizeof e.name, "FILE%06d.TXT", i);
    e.attributes = 0x20;
    e.modifyTime = 946684800 + 2 * i;
    e.packedSize = 10;
    std::size_t n = WriteHeader(e, header);
    std::fwrite(header, 1, n, file);
    std::fwrite(data, 1, sizeof data, file);
  }
  std::fputc(0, file);
  std::fclose(file);
  return path;
}

// Open, scan, snapshot and read every record one at a time, as a folder listing does.
void BM_OpenAndList(benchmark::State& state) {
  const std::string path = LargeArchive(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Archive* archive = new Archive;
    archive->Retain();
    if (archive->OpenFile(path.c_str()) != ResultOk) state.SkipWithError("cannot open");
    EntryEnumerator* snapshot = archive->EnumEntries();
    ArchiveEntry entry;
    std::uint32_t fetched = 0, count = 0;
    while (snapshot && snapshot->Next(1, &entry, &fetched) == ResultOk) ++count;
    if (count != Members) state.SkipWithError("wrong member count");
    if (snapshot) snapshot->Release();
    archive->Release();
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_OpenAndList)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// 1,000 case-insensitive lookups in a catalogue-sized list.
void BM_FindNoCase(benchmark::State& state) {
  StringList list;
  char key[64];
  for (int i = 0; i < Members; ++i) {
    std::snprintf(key, sizeof key, "DIR%02d\\FILE%06d.TXT", i % 100, i);
    list.Append(key, 0, nullptr);
  }
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < 1000; ++i) {
      std::snprintf(key, sizeof key, "dir%02d\\file%06d.txt", (i * 97) % 100, i * 97);
      found += list.FindNoCase(key) >= 0;
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_FindNoCase)->Unit(benchmark::kMicrosecond);

}  // namespace
