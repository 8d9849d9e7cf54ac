// Scans every archive of the interoperability corpus and compares the catalogue with what an
// independent reader listed for it (MANIFEST.tsv): member count, order, method, sizes, stored CRC
// and path.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "support/TestFiles.h"

namespace {

using testsupport::InteropDir;
using testsupport::ReadBytes;

struct ManifestRow {
  std::string method, packed, original, crc, path;
};
struct ManifestArchive {
  bool listed = true;  // false: the reader's listing could not be parsed into rows
  std::vector<ManifestRow> rows;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.push_back("");
  return fields;
}

std::map<std::string, ManifestArchive> LoadManifest(const std::string& dir) {
  std::map<std::string, ManifestArchive> archives;
  std::vector<std::uint8_t> bytes;
  if (!ReadBytes(dir + "MANIFEST.tsv", &bytes)) return archives;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() < 3) continue;
    ManifestArchive& archive = archives[f[0]];
    if (f[2] == "-") {
      archive.listed = false;
      continue;
    }
    if (f.size() < 7) continue;
    archive.rows.push_back(ManifestRow{f[2], f[3], f[4], f[5], f[6]});
  }
  return archives;
}

// How the independent reader shows a path: "/" between components, no leading separator, ".."
// resolved and never leaving the top, control characters as "?", a symbolic link ("name|target"
// in the header) as "name -> target", and names from systems without case in lower case. The
// catalogue keeps the stored bytes; this maps both sides to the reader's form.
std::string Normalize(std::string path, bool fromManifest) {
  for (char& c : path) {
    auto u = static_cast<unsigned char>(c);
    if (c == '\\') c = '/';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!fromManifest && (u < 0x20 || u == 0x7F)) c = '?';
  }
  std::string link;
  std::size_t bar = path.find(fromManifest ? " -> " : "|");
  if (bar != std::string::npos) {
    link = path.substr(bar + (fromManifest ? 4 : 1));
    path.erase(bar);
  }
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(path);
  while (std::getline(in, part, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (const std::string& p : parts) result += (result.empty() ? "" : "/") + p;
  if (!path.empty() && path.back() == '/') result += '/';
  return link.empty() ? result : result + " -> " + link;
}

// Archives the independent reader lists only in part: it stops at the third header, a level-1
// header without a name (a folder stored as "-lh0-"); the catalogue goes on to all five members.
const std::map<std::string, std::size_t> ReaderStoppedEarly = {{"tool06/lh0_dirs_bug.lzh", 5}};

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
  return text;
}

}  // namespace

TEST(InteropScan, EveryArchiveScansAndMatchesTheIndependentListing) {
  const std::string dir = InteropDir();
  auto manifest = LoadManifest(dir);
  ASSERT_GT(manifest.size(), 200u) << "MANIFEST.tsv not read from " << dir;

  int compared = 0;
  for (const auto& [name, expected] : manifest) {
    SCOPED_TRACE(name);
    Archive* archive = new Archive;
    archive->Retain();
    ASSERT_EQ(archive->OpenFile((dir + name).c_str()), ResultOk);
    EntryEnumerator* snapshot = archive->EnumEntries();
    ASSERT_NE(snapshot, nullptr);
    std::vector<ArchiveEntry> entries(snapshot->Count());
    std::uint32_t fetched = 0;
    snapshot->Next(static_cast<std::uint32_t>(entries.size()), entries.data(), &fetched);
    EXPECT_EQ(fetched, entries.size());
    snapshot->Release();
    archive->Release();

    if (!expected.listed) continue;
    auto partial = ReaderStoppedEarly.find(name);
    if (partial != ReaderStoppedEarly.end())
      ASSERT_EQ(entries.size(), partial->second);
    else
      ASSERT_EQ(entries.size(), expected.rows.size());
    for (std::size_t i = 0; i < expected.rows.size(); ++i) {
      const ArchiveEntry& e = entries[i];
      const ManifestRow& row = expected.rows[i];
      std::string path = std::string(e.directory) + e.name;
      SCOPED_TRACE("member " + std::to_string(i) + " " + path);
      EXPECT_EQ(std::string(e.method), row.method);
      EXPECT_EQ(std::to_string(e.packedSize), row.packed);
      EXPECT_EQ(std::to_string(e.originalSize), row.original);
      EXPECT_EQ(Hex4(e.crc), row.crc);
      EXPECT_EQ(Normalize(path, false), Normalize(row.path, true));
      ++compared;
    }
  }
  EXPECT_GT(compared, 200);
}
