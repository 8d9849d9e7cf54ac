// Settings read and written through the registry of the test prefix (HKCU is the test's own).
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dll/RegistryFixture.h"
#include "namespace/Settings.h"

namespace {

using SettingsTest = RegistryFixture;

TEST_F(SettingsTest, EmptyRegistryGivesDefaultsAndWritesThemBack) {
  EXPECT_FALSE(KeyExists("SOFTWARE\\Bellfin"));
  EXPECT_EQ(DefaultView(), 3);
  EXPECT_TRUE(KeyExists("SOFTWARE\\Bellfin"));
  EXPECT_EQ(StringValue("DefaultView"), "3");
  EXPECT_EQ(HeaderLevel(), 2);
  EXPECT_EQ(StringValue("HeaderLevel"), "2");
  EXPECT_EQ(EncodeMethod(), 5);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh5-");
  EXPECT_EQ(UseLongName(), 1);
  EXPECT_EQ(StringValue("UseLongName"), "1");
  EXPECT_EQ(AutoArrange(), 0);
  EXPECT_EQ(StringValue("AutoArrange"), "0");
  EXPECT_EQ(DecodeImage(), 0);
  EXPECT_EQ(StringValue("DecodeImage"), "0");
}

TEST_F(SettingsTest, DialogDelayDefaultIsWrittenAsDwordAndNothingElse) {
  EXPECT_EQ(DialogDelay(), 3);
  EXPECT_EQ(DwordValue("DialogDelay"), 3u);
  EXPECT_EQ(ValueCount(), 1u);
}

TEST_F(SettingsTest, InvalidDigitsAreReplacedByTheDefault) {
  SetString("HeaderLevel", "7");
  EXPECT_EQ(HeaderLevel(), 2);
  EXPECT_EQ(StringValue("HeaderLevel"), "2");
  SetString("HeaderLevel", "12");
  EXPECT_EQ(HeaderLevel(), 2);
  EXPECT_EQ(StringValue("HeaderLevel"), "2");
  SetString("DecodeImage", "/");  // just below "0"
  EXPECT_EQ(DecodeImage(), 0);
  EXPECT_EQ(StringValue("DecodeImage"), "0");
  SetString("DefaultView", "5");
  EXPECT_EQ(DefaultView(), 3);
  SetString("UseLongName", "");
  EXPECT_EQ(UseLongName(), 1);
  EXPECT_EQ(StringValue("UseLongName"), "1");
  SetDword("AutoArrange", 1);  // wrong type and size
  EXPECT_EQ(AutoArrange(), 0);
  EXPECT_EQ(StringValue("AutoArrange"), "0");
}

TEST_F(SettingsTest, ValidDigitsAreReadAsStored) {
  SetString("DefaultView", "0");
  EXPECT_EQ(DefaultView(), 0);
  SetString("HeaderLevel", "3");
  EXPECT_EQ(HeaderLevel(), 3);
  SetString("UseLongName", "0");
  EXPECT_EQ(UseLongName(), 0);
  EXPECT_EQ(StringValue("UseLongName"), "0");
}

TEST_F(SettingsTest, EncodeMethodAcceptsOnlyWritableMethods) {
  SetString("EncodeMethod", "-lh7-");
  EXPECT_EQ(EncodeMethod(), 7);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh7-");
  SetString("EncodeMethod", "-lh0-");
  EXPECT_EQ(EncodeMethod(), 0);
  SetString("EncodeMethod", "lh7-");  // no leading dash
  EXPECT_EQ(EncodeMethod(), 5);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh5-");
  SetString("EncodeMethod", "-lh3-");  // a method the encoder cannot write
  EXPECT_EQ(EncodeMethod(), 5);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh5-");
  SetString("EncodeMethod", "-lh6-x");
  EXPECT_EQ(EncodeMethod(), 5);
  SetString("EncodeMethod", "-lh6--lh6--lh6--lh6-");  // longer than the 16-byte buffer
  EXPECT_EQ(EncodeMethod(), 5);
}

TEST_F(SettingsTest, WritersStoreTheirForms) {
  EncodeMethod(6);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh6-");
  EXPECT_EQ(EncodeMethod(), 6);
  EncodeMethod(0);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh0-");
  HeaderLevel(1);
  EXPECT_EQ(StringValue("HeaderLevel"), "1");
  DefaultView(4);
  EXPECT_EQ(StringValue("DefaultView"), "4");
  DefaultView(7);
  EXPECT_EQ(StringValue("DefaultView"), "0");
  AutoArrange(1);
  EXPECT_EQ(StringValue("AutoArrange"), "1");
  AutoArrange(2);
  EXPECT_EQ(StringValue("AutoArrange"), "0");
  DecodeImage(1);
  EXPECT_EQ(DecodeImage(), 1);
  UseLongName(0);
  EXPECT_EQ(UseLongName(), 0);
}

TEST_F(SettingsTest, DialogDelayRange) {
  DialogDelay(-1);
  EXPECT_EQ(DialogDelay(), -1);
  DialogDelay(30);
  EXPECT_EQ(DialogDelay(), 30);
  DialogDelay(31);
  EXPECT_EQ(DwordValue("DialogDelay"), 3u);
  DialogDelay(-2);
  EXPECT_EQ(DwordValue("DialogDelay"), 3u);
  SetDword("DialogDelay", 40);
  EXPECT_EQ(DialogDelay(), 3);
  EXPECT_EQ(DwordValue("DialogDelay"), 3u);
  SetString("DialogDelay", "5");
  EXPECT_EQ(DialogDelay(), 3);
  EXPECT_EQ(DwordValue("DialogDelay"), 3u);
}

TEST_F(SettingsTest, NewWindowModeChangesOnlyItsBitOfExplorersValue) {
  std::vector<BYTE> original = {12, 0, 2, 0, 0x11, 0x42, 0, 0, 0x60, 0, 0, 0};
  SetCabinetState(original, REG_BINARY);
  EXPECT_EQ(NewWindowMode(), 0);
  NewWindowMode(1);
  EXPECT_EQ(NewWindowMode(), 1);
  DWORD type = 0;
  std::vector<BYTE> now = CabinetState(&type);
  std::vector<BYTE> expected = original;
  expected[4] |= 0x20;
  EXPECT_EQ(now, expected);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  NewWindowMode(0);
  EXPECT_EQ(CabinetState(&type), original);
}

TEST_F(SettingsTest, NewWindowModeWritesNothingWithoutAReadableValue) {
  EXPECT_EQ(NewWindowMode(), 0);
  NewWindowMode(1);
  EXPECT_TRUE(CabinetState(nullptr).empty()) << "no value is made up";
  SetCabinetState({1, 2, 3}, REG_BINARY);  // too short to hold the flag byte
  NewWindowMode(1);
  EXPECT_EQ(CabinetState(nullptr), (std::vector<BYTE>{1, 2, 3}));
  std::vector<BYTE> longer(36, 0);  // Windows keeps 12 bytes or more: the whole value counts
  SetCabinetState(longer, REG_BINARY);
  NewWindowMode(1);
  longer[4] = 0x20;
  EXPECT_EQ(CabinetState(nullptr), longer);
  EXPECT_EQ(NewWindowMode(), 1);
}

TEST_F(SettingsTest, ShowExtensionsReadsBitOneOfTheSecondWordOfAValueOfAnyLength) {
  EXPECT_EQ(ShowExtensions(), 0);
  struct Case {
    std::size_t length;  // Windows stores 36 bytes; older systems 12
    BYTE flags;
    int expected;
  };
  for (Case c : {Case{36, 0x02, 1}, Case{12, 0x02, 1}, Case{8, 0x02, 1}, Case{36, 0xFD, 0},
                 Case{12, 0x00, 0}, Case{6, 0x02, 0}}) {
    std::vector<BYTE> state(c.length, 0);
    state[0] = static_cast<BYTE>(c.length);
    state[4] = c.flags;
    if (c.length >= 8 && c.flags == 0xFD) state[5] = state[6] = state[7] = 0xFF;
    SetShellState(state);
    EXPECT_EQ(ShowExtensions(), c.expected) << c.length << " bytes, flags " << int(c.flags);
  }
}

}  // namespace
