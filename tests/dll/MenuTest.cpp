// Menu helpers and the registry verb menu, table-driven.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/MenuMerge.h"
#include "commands/VerbMenu.h"

namespace {

// A menu from a description: "-" a separator, "Text:id" an item, "Text:id>" a popup whose items
// follow up to the next "<".
HMENU Build(const std::vector<std::string>& items, std::size_t* at = nullptr) {
  std::size_t local = 0;
  if (!at) at = &local;
  HMENU menu = CreatePopupMenu();
  while (*at < items.size()) {
    const std::string item = items[(*at)++];
    if (item == "<") break;
    if (item == "-") {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::size_t colon = item.find(':');
    const std::string text = item.substr(0, colon);
    const UINT id = static_cast<UINT>(std::stoul(item.substr(colon + 1)));
    if (item.back() == '>') {
      HMENU sub = Build(items, at);
      MENUITEMINFOA info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
      info.fType = MFT_STRING;
      info.wID = id;
      info.hSubMenu = sub;
      info.dwTypeData = const_cast<char*>(text.c_str());
      InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &info);
    } else {
      AppendMenuA(menu, MF_STRING, id, text.c_str());
    }
  }
  return menu;
}

// The menu described back in the same form.
std::vector<std::string> Describe(HMENU menu) {
  std::vector<std::string> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      out.push_back("-");
      continue;
    }
    out.push_back(std::string(text) + ":" + std::to_string(info.wID) + (info.hSubMenu ? ">" : ""));
    if (info.hSubMenu) {
      for (const std::string& inner : Describe(info.hSubMenu)) out.push_back(inner);
      out.push_back("<");
    }
  }
  return out;
}

TEST(Menus, MergeShiftsIdsDropsThoseAboveTheMaximumAndNeverDoublesSeparators) {
  const std::vector<std::string> source = {"-", "X:10", "Y:300", "-", "P:20>", "Z:30", "<"};
  struct Case {
    std::vector<std::string> destination;
    UINT position, flags;
    std::vector<std::string> expected;
    UINT result;
  } cases[] = {
      {{"A:1", "B:2", "-", "C:3"}, 1, MergeKeepPopupIds,
       {"A:1", "-", "X:110", "-", "P:120>", "Z:130", "<", "B:2", "-", "C:3"}, 131},
      {{}, 0, MergeKeepPopupIds, {"X:110", "-", "P:120>", "Z:130", "<"}, 131},
      {{"A:1", "B:2", "-", "C:3"}, 2, MergeKeepPopupIds,
       {"A:1", "B:2", "-", "X:110", "-", "P:120>", "Z:130", "<", "-", "C:3"}, 131},
      {{"A:1", "B:2", "-", "C:3"}, 1, MergeAddSeparator | MergeKeepPopupIds,
       {"A:1", "-", "X:110", "-", "P:120>", "Z:130", "<", "-", "B:2", "-", "C:3"}, 131},
      // Without flag 2 a popup gets no identifier of its own.
      {{"A:1"}, 9, 0, {"A:1", "-", "X:110", "-", "P:0>", "Z:130", "<"}, 131},
  };
  for (const Case& c : cases) {
    HMENU destination = Build(c.destination);
    HMENU from = Build(source);
    EXPECT_EQ(MergeMenus(destination, from, c.position, 100, 305, c.flags), c.result);
    EXPECT_EQ(Describe(destination), c.expected) << "position " << c.position;
    DestroyMenu(destination);
    DestroyMenu(from);
  }
  EXPECT_EQ(MergeMenus(nullptr, nullptr, 0, 7, 9, 0), 7u);
  HMENU menu = Build({"A:1", "B:2", "A:3", "-"});
  EXPECT_EQ(FindMenuItemByText(menu, "A"), 2);
  EXPECT_EQ(FindMenuItemByText(menu, "a"), -1);
  EXPECT_TRUE(IsMenuSeparator(menu, 3));
  EXPECT_FALSE(IsMenuSeparator(menu, 0));
  EXPECT_FALSE(IsMenuSeparator(menu, 9));
  DestroyMenu(menu);
}

void SetDefault(const std::string& key, const std::string& value, DWORD type = REG_SZ) {
  HKEY handle = nullptr;
  RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                  nullptr);
  RegSetValueExA(handle, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(handle);
}

// The verb menu as "caption|verb|command" lines in menu order, the default item marked "*".
std::vector<std::string> Verbs(const char* memberPath) {
  HMENU menu = nullptr;
  HGLOBAL block = nullptr;
  const int count = BuildVerbMenu(memberPath, &menu, &block);
  std::vector<std::string> out;
  if (count == 0) {
    EXPECT_EQ(menu, nullptr);
    EXPECT_EQ(block, nullptr);
    return out;
  }
  EXPECT_EQ(GetMenuItemCount(menu), count);
  EXPECT_EQ(GlobalSize(block), static_cast<SIZE_T>(count) * sizeof(VerbRecord));
  const auto* records = static_cast<const VerbRecord*>(GlobalLock(block));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(GetMenuItemID(menu, i), static_cast<UINT>(i));
    const bool isDefault = GetMenuState(menu, i, MF_BYPOSITION) & MFS_DEFAULT;
    out.push_back(std::string(isDefault ? "*" : "") + records[i].caption + "|" + records[i].verb +
                  "|" + records[i].command);
  }
  GlobalUnlock(block);
  GlobalFree(block);
  DestroyMenu(menu);
  return out;
}

TEST(Menus, VerbMenuFollowsThePreferredListAndSkipsWhatCannotRun) {
  SetDefault(".tnva", "tnvafile");
  SetDefault("tnvafile\\shell", "print");
  SetDefault("tnvafile\\shell\\open", "");
  SetDefault("tnvafile\\shell\\open\\command", "notepad.exe %1");
  SetDefault("tnvafile\\shell\\print", "");
  SetDefault("tnvafile\\shell\\print\\command", "\"C:\\p.exe\" /p \"%1\"");
  SetDefault("tnvafile\\shell\\printto", "");
  SetDefault("tnvafile\\shell\\printto\\command", "p.exe /pt %1");
  SetDefault("tnvafile\\shell\\edit", "\x95\xd2\x8f\x57(&E)");  // 編集(&E), no command subkey
  SetDefault("tnvafile\\shell\\zlong", std::string(40, '\x82') + "X" + std::string(60, 'y'));
  SetDefault("tnvafile\\shell\\zlong\\command", "%SystemRoot%\\z.exe %1", REG_EXPAND_SZ);
  // Another extension with the preferred list naming a missing verb first.
  SetDefault(".tnvb", "tnvbfile");
  SetDefault("tnvbfile\\shell", "missing,open");
  SetDefault("tnvbfile\\shell\\another", "Another");
  SetDefault("tnvbfile\\shell\\another\\command", "a.exe %1");
  SetDefault("tnvbfile\\shell\\open", "");
  SetDefault("tnvbfile\\shell\\open\\command", "o.exe %1");
  // Classes that name each other never end the lookup.
  SetDefault(".tnvc", "tnvloop1");
  SetDefault("tnvloop1", "tnvloop2");
  SetDefault("tnvloop2", "tnvloop1");

  char windows[MAX_PATH];
  GetEnvironmentVariableA("SystemRoot", windows, sizeof windows);
  // The long caption is cut to 79 bytes without splitting a double-byte character.
  const std::string cut = std::string(40, '\x82').substr(0, 40) + "X" + std::string(38, 'y');
  EXPECT_EQ(Verbs("DIR\\A.TNVA"),
            (std::vector<std::string>{"*\x88\xf3\x8d\xfc(&P)|print|\"C:\\p.exe\" /p \"%1\"",
                                      "\x8a\x4a\x82\xad(&O)|open|notepad.exe %1",
                                      cut + "|zlong|" + std::string(windows) + "\\z.exe %1"}));
  EXPECT_EQ(Verbs("b.tnvb"), (std::vector<std::string>{"*Another|another|a.exe %1",
                                                       "\x8a\x4a\x82\xad(&O)|open|o.exe %1"}));
  EXPECT_TRUE(Verbs("c.tnvc").empty());
  EXPECT_TRUE(Verbs("DIR.TNVA\\README").empty()) << "the extension comes from the name";
  EXPECT_TRUE(Verbs(".tnva").empty()) << "a leading dot is no extension";
  EXPECT_TRUE(Verbs("x.nosuchtype").empty());
}

}  // namespace
