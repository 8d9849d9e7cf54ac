// The package's help file is one that a help viewer opens: Wine's winhlp32 shows its topics, the
// contents topic first and any other by its context id. The HTML page holds the same topics, each
// headed by its title under its context id.
#include <windows.h>

#include <gtest/gtest.h>

#include "setup/InstallerDriver.h"

using namespace setuptest;

TEST(HelpFile, WinhlpShowsItsTopics) {
  const struct {
    const char* context;
    std::string heading;
    const char* id;
  } topics[] = {
      {"", "Tanuvia \x82\xc9\x82\xc2\x82\xa2\x82\xc4", "IDH_CONTENTS"},  // "Tanuvia について"
      {"-i IDH_OPTIONS ",  // "オプションの設定"
       "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x82\xcc\x90\xdd\x92\xe8", "IDH_OPTIONS"},
      {"-i IDH_SETUP ",  // "インストールと削除", in the second 4 KB block of topics
       "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xc6\x8d\xed\x8f\x9c", "IDH_SETUP"},
  };
  const std::string page = ReadText(PackageFile("TANUFOLD.HTM"));
  for (const auto& topic : topics) {
    EXPECT_NE(page.find("<h2 id=\"" + std::string(topic.id) + "\">" + topic.heading + "</h2>"),
              std::string::npos) << topic.id;
    std::string text = ShownRichText("winhlp32.exe " + std::string(topic.context) +
                                     PackageFile("TANUFOLD.HLP"));
    EXPECT_EQ(text.substr(0, topic.heading.size()), topic.heading) << topic.context;
  }
  EXPECT_EQ(ReadText(PackageFile("TANUFOLD.CNT")).substr(0, 20), ":Base TANUFOLD.HLP\r\n");
}
