// Archives of our encoder's output checked by independent readers (lhasa and 7z). The archive
// header here is built by hand: one level-0 member, which is all these readers need.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EncoderTestUtil.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32

bool HaveTool(const char* name) {
  std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// One level-0 member and the end-of-archive byte.
std::vector<std::uint8_t> SingleMemberArchive(const std::string& name, int method,
                                              const encoder_test::Encoded& e,
                                              std::uint32_t originalSize) {
  std::vector<std::uint8_t> h;
  const std::uint8_t n = static_cast<std::uint8_t>(name.size());
  h.push_back(static_cast<std::uint8_t>(n + 22));  // header bytes after offset 1
  h.push_back(0);                                  // checksum, filled below
  std::string id = "-lh" + std::to_string(method) + "-";
  h.insert(h.end(), id.begin(), id.end());
  Put32(h, e.packedSize);
  Put32(h, originalSize);
  Put16(h, 0x6000);                         // 12:00:00
  Put16(h, ((2020 - 1980) << 9) | (5 << 5) | 17);  // 2020-05-17
  h.push_back(0x20);
  h.push_back(0);  // level 0
  h.push_back(n);
  h.insert(h.end(), name.begin(), name.end());
  Put16(h, e.crc);
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum = static_cast<std::uint8_t>(sum + h[i]);
  h[1] = sum;
  h.insert(h.end(), e.packed.begin(), e.packed.end());
  h.push_back(0);
  return h;
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::uint8_t> ReadFileOrEmpty(const char* path, std::size_t limit) {
  std::vector<std::uint8_t> v = ReadAll(path);
  if (v.size() > limit) v.resize(limit);
  return v;
}

class EncoderInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"lhasa", "7z"}) {
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed; interop not checked";
    }
    char pattern[] = "/tmp/tnencXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Encodes, archives, and has both tools test and extract the member.
  void Check(const std::vector<std::uint8_t>& input, int method, const std::string& label) {
    SCOPED_TRACE(label + " -lh" + std::to_string(method) + "-");
    encoder_test::Encoded e = encoder_test::EncodeBytes(input, method);
    ASSERT_EQ(e.result, 0);
    const std::string archive = dir_ + "/t.lzh";
    ASSERT_TRUE(WriteAll(archive, SingleMemberArchive("data.bin", method, e,
                                                      static_cast<std::uint32_t>(input.size()))));
    EXPECT_EQ(Run("lhasa t '" + archive + "'"), 0);
    EXPECT_EQ(Run("7z t '" + archive + "'"), 0);

    EXPECT_EQ(Run("rm -rf '" + dir_ + "/x' && mkdir '" + dir_ + "/x' && cd '" + dir_ +
                  "/x' && lhasa xq '" + archive + "'"),
              0);
    EXPECT_TRUE(ReadAll(dir_ + "/x/data.bin") == input) << "lhasa extracted other bytes";
    EXPECT_EQ(Run("rm -rf '" + dir_ + "/y' && 7z x -y '-o" + dir_ + "/y' '" + archive + "'"), 0);
    EXPECT_TRUE(ReadAll(dir_ + "/y/data.bin") == input) << "7z extracted other bytes";
  }

  int Run(const std::string& command) {
    return std::system((command + " >'" + dir_ + "/log' 2>&1").c_str());
  }

  std::string dir_;
};

TEST_F(EncoderInterop, IndependentReadersAcceptOurPackedData) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> inputs;
  inputs.emplace_back("text", encoder_test::TextBytes(500000, 31));
  inputs.emplace_back("small alphabet", encoder_test::NoiseBytes(200000, 32, 9));
  std::vector<std::uint8_t> run(70000, 0);
  run.insert(run.end(), 3, 1);  // a run, then a few literals
  inputs.emplace_back("run", run);
  std::vector<std::uint8_t> license = ReadFileOrEmpty("/usr/share/common-licenses/GPL-3", 1 << 20);
  if (!license.empty()) inputs.emplace_back("GPL-3", license);
  std::vector<std::uint8_t> program = ReadFileOrEmpty("/proc/self/exe", 3 << 20);
  if (!program.empty()) inputs.emplace_back("test program", program);
  // Far repeats that only the larger windows reach, across several slides.
  std::vector<std::uint8_t> far = encoder_test::NoiseBytes(60000, 33);
  for (int copy = 0; copy < 3; ++copy) far.insert(far.end(), far.begin(), far.begin() + 60000);

  for (int method = 4; method <= 7; ++method) {
    for (const auto& [label, bytes] : inputs) Check(bytes, method, label);
  }
  Check(far, 7, "far repeats");
}

#endif  // !_WIN32

}  // namespace
