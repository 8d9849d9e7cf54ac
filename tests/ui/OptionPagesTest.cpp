// The folder and compression pages inside a real property sheet, answered by the harness.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dll/RegistryFixture.h"
#include "namespace/ModuleState.h"
#include "namespace/OptionPages.h"
#include "namespace/Settings.h"
#include "resources/resource.h"
#include "ui/UiHarness.h"

namespace {

constexpr int ApplyButton = 0x3021;  // the sheet's "apply" button

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM list) {
  reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(list)->push_back(page);
  return TRUE;
}

class OptionPagesTest : public RegistryFixture {
 protected:
  // Shows both pages in a modal sheet, switches to page `index` and lets `answer` work on it;
  // `answer` ends the sheet (OK or cancel) through the sheet window it is given.
  void RunSheet(int index, std::function<void(HWND sheet, HWND page)> answer) {
    std::vector<HPROPSHEETPAGE> pages;
    AddOptionPages(CollectPage, reinterpret_cast<LPARAM>(&pages));
    ASSERT_EQ(pages.size(), 2u);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_NOCONTEXTHELP;
    header.hInstance = ModuleInstance;
    header.pszCaption = "options";
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    ui::Answerer answerer([&](HWND sheet) {
      if (index != 0) SendMessageA(sheet, PSM_SETCURSEL, index, 0);
      answer(sheet, ui::CurrentPage(sheet));
    });
    PropertySheetA(&header);
    EXPECT_TRUE(answerer.Finish()) << answerer.Problem();
  }

  static std::string Resource(UINT id) {
    char text[256] = "";
    LoadStringA(ModuleInstance, id, text, sizeof text);
    return text;
  }
};

TEST_F(OptionPagesTest, FolderPageShowsTheSettings) {
  SetCabinetState({12, 0, 2, 0, 0x20, 0, 0, 0, 0x60, 0, 0, 0}, REG_BINARY);
  DefaultView(4);
  AutoArrange(1);
  DecodeImage(0);
  bool newWindow = false, sameWindow = true, autoArrange = false, decodeImage = true;
  int selection = -2;
  std::vector<std::string> modes;
  RunSheet(0, [&](HWND sheet, HWND page) {
    newWindow = ui::Checked(page, IDC_NEW_WINDOW);
    sameWindow = ui::Checked(page, IDC_SAME_WINDOW);
    selection = ui::ComboSelection(page, IDC_VIEW_MODE);
    for (int i = 0; i < ui::ComboCount(page, IDC_VIEW_MODE); ++i)
      modes.push_back(ui::ComboItem(page, IDC_VIEW_MODE, i));
    autoArrange = ui::Checked(page, IDC_AUTO_ARRANGE);
    decodeImage = ui::Checked(page, IDC_DECODE_IMAGE);
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_TRUE(newWindow);
  EXPECT_FALSE(sameWindow);
  EXPECT_EQ(selection, 3);
  ASSERT_EQ(modes.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(modes[i], Resource(IDS_VIEW_MODE_0 + i));
  EXPECT_TRUE(autoArrange);
  EXPECT_FALSE(decodeImage);
}

TEST_F(OptionPagesTest, FolderPageWithoutViewModeSelectsNothingAndKeepsZero) {
  DefaultView(0);
  int selection = 0;
  RunSheet(0, [&](HWND sheet, HWND page) {
    selection = ui::ComboSelection(page, IDC_VIEW_MODE);
    ui::Click(sheet, IDOK);
  });
  EXPECT_EQ(selection, -1);
  EXPECT_EQ(StringValue("DefaultView"), "0");
}

TEST_F(OptionPagesTest, FolderPageApplyWritesTheSettings) {
  SetCabinetState({12, 0, 2, 0, 0x20, 0, 0, 0, 0x60, 0, 0, 0}, REG_BINARY);
  DefaultView(3);
  AutoArrange(0);
  DecodeImage(1);
  bool applyBefore = true, applyAfter = false, bothChecked = true;
  RunSheet(0, [&](HWND sheet, HWND page) {
    applyBefore = ui::Enabled(sheet, ApplyButton);
    ui::Click(page, IDC_SAME_WINDOW);
    applyAfter = ui::Enabled(sheet, ApplyButton);
    bothChecked = ui::Checked(page, IDC_NEW_WINDOW) && ui::Checked(page, IDC_SAME_WINDOW);
    ui::ChooseComboEntry(page, IDC_VIEW_MODE, 1);
    ui::Click(page, IDC_AUTO_ARRANGE);
    ui::Click(page, IDC_DECODE_IMAGE);
    ui::Click(sheet, IDOK);
  });
  EXPECT_FALSE(applyBefore);
  EXPECT_TRUE(applyAfter) << "a click on a window mode marks the page changed";
  EXPECT_FALSE(bothChecked) << "the window modes exclude each other";
  EXPECT_EQ(NewWindowMode(), 0);
  EXPECT_EQ(StringValue("DefaultView"), "2");
  EXPECT_EQ(StringValue("AutoArrange"), "1");
  EXPECT_EQ(StringValue("DecodeImage"), "0");
}

struct CompressionState {
  bool noLongNames = false, useProgress = true, spinEnabled = true, editEnabled = true;
  int method = -2, level = -2, methods = 0, levels = 0;
  std::string delay;
  std::vector<std::string> methodTexts, levelTexts;
};

CompressionState ReadCompression(HWND page) {
  CompressionState state;
  state.noLongNames = ui::Checked(page, IDC_NO_LONG_NAMES);
  state.useProgress = ui::Checked(page, IDC_USE_PROGRESS);
  state.spinEnabled = ui::Enabled(page, IDC_DELAY_SPIN);
  state.editEnabled = ui::Enabled(page, IDC_DELAY_EDIT);
  state.method = ui::ComboSelection(page, IDC_METHOD);
  state.level = ui::ComboSelection(page, IDC_HEADER_LEVEL);
  state.methods = ui::ComboCount(page, IDC_METHOD);
  state.levels = ui::ComboCount(page, IDC_HEADER_LEVEL);
  for (int i = 0; i < state.methods; ++i) state.methodTexts.push_back(ui::ComboItem(page, IDC_METHOD, i));
  for (int i = 0; i < state.levels; ++i) state.levelTexts.push_back(ui::ComboItem(page, IDC_HEADER_LEVEL, i));
  state.delay = ui::Text(page, IDC_DELAY_EDIT);
  return state;
}

TEST_F(OptionPagesTest, CompressionPageShowsTheSettings) {
  SetString("EncodeMethod", "-lh7-");
  HeaderLevel(1);
  UseLongName(0);
  DialogDelay(12);
  CompressionState state;
  RunSheet(1, [&](HWND sheet, HWND page) {
    state = ReadCompression(page);
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_TRUE(state.noLongNames);
  EXPECT_EQ(state.method, 4);
  ASSERT_EQ(state.methods, 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(state.methodTexts[i], Resource(IDS_METHOD_CHOICE_0 + i));
  EXPECT_EQ(state.level, 1);
  ASSERT_EQ(state.levels, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(state.levelTexts[i], Resource(IDS_LEVEL_CHOICE_0 + i));
  EXPECT_TRUE(state.useProgress);
  EXPECT_TRUE(state.spinEnabled);
  EXPECT_EQ(state.delay, "12");
}

TEST_F(OptionPagesTest, ProgressOffStoresMinusOneAndReopensGreyedAtThree) {
  DialogDelay(5);
  SetString("EncodeMethod", "-lh0-");
  RunSheet(1, [&](HWND sheet, HWND page) {
    ui::Click(page, IDC_USE_PROGRESS);
    ui::Click(sheet, IDOK);
  });
  EXPECT_EQ(DialogDelay(), -1);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh0-");
  CompressionState state;
  RunSheet(1, [&](HWND sheet, HWND page) {
    state = ReadCompression(page);
    PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_FALSE(state.useProgress);
  EXPECT_FALSE(state.spinEnabled);
  EXPECT_FALSE(state.editEnabled);
  EXPECT_EQ(state.delay, "3");
  EXPECT_EQ(state.method, 0);
}

TEST_F(OptionPagesTest, CompressionPageApplyWritesEveryChoice) {
  DialogDelay(-1);
  HeaderLevel(2);
  UseLongName(1);
  bool enabledByClick = false, applyAfterCheck = true, applyAfterChoice = false;
  RunSheet(1, [&](HWND sheet, HWND page) {
    ui::Click(page, IDC_USE_PROGRESS);
    enabledByClick = ui::Enabled(page, IDC_DELAY_SPIN) && ui::Enabled(page, IDC_DELAY_EDIT);
    ui::Click(page, IDC_NO_LONG_NAMES);
    applyAfterCheck = ui::Enabled(sheet, ApplyButton);
    ui::ChooseComboEntry(page, IDC_METHOD, 3);
    applyAfterChoice = ui::Enabled(sheet, ApplyButton);
    ui::ChooseComboEntry(page, IDC_HEADER_LEVEL, 0);
    SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_SETPOS, 0, MAKELPARAM(17, 0));
    ui::Click(sheet, IDOK);
  });
  EXPECT_TRUE(enabledByClick);
  EXPECT_FALSE(applyAfterCheck) << "check boxes do not mark the page changed";
  EXPECT_TRUE(applyAfterChoice);
  EXPECT_EQ(StringValue("EncodeMethod"), "-lh6-");
  EXPECT_EQ(StringValue("HeaderLevel"), "0");
  EXPECT_EQ(StringValue("UseLongName"), "0");
  EXPECT_EQ(DialogDelay(), 17);
}

TEST_F(OptionPagesTest, DelayStaysWithinZeroToThirty) {
  DialogDelay(29);
  int low = -1, high = -1;
  std::string top, bottom;
  RunSheet(1, [&](HWND sheet, HWND page) {
    LRESULT range = SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_GETRANGE, 0, 0);
    low = static_cast<short>(HIWORD(range));
    high = static_cast<short>(LOWORD(range));
    HWND edit = GetDlgItem(page, IDC_DELAY_EDIT);
    for (int i = 0; i < 3; ++i) SendMessageA(edit, WM_KEYDOWN, VK_UP, 0);
    top = ui::Text(page, IDC_DELAY_EDIT);
    SendDlgItemMessageA(page, IDC_DELAY_SPIN, UDM_SETPOS, 0, MAKELPARAM(1, 0));
    for (int i = 0; i < 3; ++i) SendMessageA(edit, WM_KEYDOWN, VK_DOWN, 0);
    bottom = ui::Text(page, IDC_DELAY_EDIT);
    ui::Click(sheet, IDOK);
  });
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 30);
  EXPECT_EQ(top, "30");
  EXPECT_EQ(bottom, "0");
  EXPECT_EQ(DialogDelay(), 0);
}

}  // namespace
