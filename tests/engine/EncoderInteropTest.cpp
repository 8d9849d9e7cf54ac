// Archives of our encoder's output checked by independent readers (lhasa and 7z): one member
// with a level-0 or level-2 header from our header writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "EncoderTestUtil.h"
#include "support/EntryBuilder.h"
#include "support/TempFolder.h"
#include "support/TestFiles.h"

namespace {

#ifndef _WIN32

bool HaveTool(const char* name) {
  std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// One member, its header from our header writer, and the end-of-archive byte.
testsupport::Bytes SingleMemberArchive(const char* name, int method, int level,
                                       const encoder_test::Encoded& e, std::uint32_t originalSize) {
  ArchiveEntry entry{};
  entry.createTime = entry.modifyTime = entry.accessTime = 1589716800;  // 2020-05-17 12:00 UTC
  entry.packedSize = static_cast<std::int32_t>(e.packedSize);
  entry.originalSize = originalSize;
  entry.attributes = 0x20;
  entry.crc = e.crc;
  entry.headerLevel = static_cast<std::uint8_t>(level);
  entry.osId = 'W';
  std::snprintf(entry.method, sizeof entry.method, "-lh%d-", method);
  std::snprintf(entry.name, sizeof entry.name, "%s", name);
  testsupport::Bytes archive = testsupport::ArchiveImage({{entry, e.packed}});
  EXPECT_FALSE(archive.empty());
  return archive;
}

std::vector<std::uint8_t> ReadFileOrEmpty(const char* path, std::size_t limit) {
  std::vector<std::uint8_t> v = testsupport::ReadBytes(path);
  if (v.size() > limit) v.resize(limit);
  return v;
}

class EncoderInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"lhasa", "7z"})
      ASSERT_TRUE(HaveTool(tool)) << tool << " is not installed (scripts/setup.sh installs it)";
  }

  // Encodes, archives, and has both tools test and extract the member.
  void Check(const std::vector<std::uint8_t>& input, int method, int level,
             const std::string& label) {
    SCOPED_TRACE(label + " -lh" + std::to_string(method) + "- level " + std::to_string(level));
    encoder_test::Encoded e = encoder_test::EncodeBytes(input, method);
    ASSERT_EQ(e.result, 0);
    const std::string archive = dir_ + "/t.lzh";
    ASSERT_TRUE(testsupport::WriteBytes(
        archive, SingleMemberArchive("data.bin", method, level, e,
                                     static_cast<std::uint32_t>(input.size()))));
    EXPECT_EQ(Run("lhasa t '" + archive + "'"), 0);
    EXPECT_EQ(Run("7z t '" + archive + "'"), 0);

    EXPECT_EQ(Run("rm -rf '" + dir_ + "/x' && mkdir '" + dir_ + "/x' && cd '" + dir_ +
                  "/x' && lhasa xq '" + archive + "'"),
              0);
    EXPECT_TRUE(testsupport::ReadBytes(dir_ + "/x/data.bin") == input)
        << "lhasa extracted other bytes";
    EXPECT_EQ(Run("rm -rf '" + dir_ + "/y' && 7z x -y '-o" + dir_ + "/y' '" + archive + "'"), 0);
    EXPECT_TRUE(testsupport::ReadBytes(dir_ + "/y/data.bin") == input)
        << "7z extracted other bytes";
  }

  int Run(const std::string& command) {
    return std::system((command + " >'" + dir_ + "/log' 2>&1").c_str());
  }

  testsupport::TempFolder temp_;
  const std::string dir_ = temp_.path();
};

TEST_F(EncoderInterop, IndependentReadersAcceptOurPackedData) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> inputs;
  inputs.emplace_back("text", testsupport::WordText(500000, 31));
  inputs.emplace_back("small alphabet", testsupport::NoiseBytes(200000, 32, 9));
  std::vector<std::uint8_t> run(70000, 0);
  run.insert(run.end(), 3, 1);  // a run, then a few literals
  inputs.emplace_back("run", run);
  std::vector<std::uint8_t> license = ReadFileOrEmpty("/usr/share/common-licenses/GPL-3", 1 << 20);
  if (!license.empty()) inputs.emplace_back("GPL-3", license);
  std::vector<std::uint8_t> program = ReadFileOrEmpty("/proc/self/exe", 3 << 20);
  if (!program.empty()) inputs.emplace_back("test program", program);
  // Far repeats that only the larger windows reach, across several slides.
  std::vector<std::uint8_t> far = testsupport::NoiseBytes(60000, 33);
  for (int copy = 0; copy < 3; ++copy) far.insert(far.end(), far.begin(), far.begin() + 60000);

  for (int method = 4; method <= 7; ++method) {
    int level = 0;
    for (const auto& [label, bytes] : inputs) {
      Check(bytes, method, level, label);
      level = 2 - level;
    }
  }
  Check(far, 7, 2, "far repeats");
}

#else

TEST(EncoderInterop, IndependentReadersAcceptOurPackedData) {
  GTEST_SKIP() << "lhasa and 7z run on the build host; checked by the native builds";
}

#endif  // !_WIN32

}  // namespace
