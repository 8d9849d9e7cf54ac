#include "commands/VerbMenu.h"

#include <cstring>
#include <string>
#include <vector>

#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "namespace/ResourceText.h"
#include "resources/resource.h"

namespace {

constexpr int MaxVerbs = 64;
// How many keys the class lookup follows from the extension before it gives up (a class whose
// default value names itself, or two that name each other, would otherwise never end).
constexpr int MaxClassHops = 8;

// The default value of HKCR\`path` as text: false when it is missing or not of an allowed type.
// With `missingIsEmpty` a key without a default value reads as "" (how most registries hold a
// verb: "shell\open" with only its "command" subkey).
bool ReadDefault(const std::string& path, char* out, DWORD size, DWORD* typeOut = nullptr,
                 bool missingIsEmpty = false) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD type = 0, length = size - 1;
  std::memset(out, 0, size);
  const LONG result =
      RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(out), &length);
  RegCloseKey(key);
  out[size - 1] = '\0';  // registry texts need not end with a NUL
  if (result == ERROR_FILE_NOT_FOUND && missingIsEmpty) {
    type = REG_SZ;
    out[0] = '\0';
  } else if (result != ERROR_SUCCESS) {
    return false;
  }
  if (typeOut) *typeOut = type;
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

// The class key whose "shell" subkey holds the verbs, following default values from the
// extension's key; empty when there is none.
std::string ClassKey(const char* extension) {
  std::string name = extension;
  std::vector<std::string> seen;
  for (int hop = 0; hop < MaxClassHops; ++hop) {
    HKEY shell = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (name + "\\shell").c_str(), 0, KEY_READ, &shell) ==
        ERROR_SUCCESS) {
      RegCloseKey(shell);
      return name;
    }
    seen.push_back(name);
    char next[80];
    DWORD type = 0;
    if (!ReadDefault(name, next, sizeof next, &type) || type != REG_SZ || !next[0]) return {};
    for (const std::string& earlier : seen)
      if (earlier == next) return {};
    name = next;
  }
  return {};
}

void FixedCaption(const char* verb, char (&caption)[80]) {
  struct Fixed {
    const char* verb;
    UINT id;
  };
  static const Fixed fixed[] = {{"open", IDS_VERB_OPEN},
                                {"explore", IDS_VERB_EXPLORE},
                                {"print", IDS_VERB_PRINT},
                                {"find", IDS_VERB_FIND}};
  for (const Fixed& f : fixed) {
    if (lstrcmpiA(verb, f.verb) == 0) {  // key names ignore case: "Open" is "open"
      LoadLibraryString(f.id, caption, sizeof caption);
      return;
    }
  }
  caption[0] = '&';
  CopyCut(caption + 1, sizeof caption - 1, verb, std::strlen(verb));
}

// Reads every usable verb of the class, in enumeration order.
std::vector<VerbRecord> ReadVerbs(const std::string& shellKey) {
  std::vector<VerbRecord> verbs;
  HKEY shell = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, shellKey.c_str(), 0, KEY_READ, &shell) != ERROR_SUCCESS)
    return verbs;
  for (DWORD index = 0; index < MaxVerbs; ++index) {
    char name[80];
    DWORD length = sizeof name;
    const LONG result =
        RegEnumKeyExA(shell, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // a name too long for a record: only that verb goes
    if (result != ERROR_SUCCESS) break;
    if (lstrcmpiA(name, "printto") == 0) continue;
    const std::string verbKey = shellKey + "\\" + name;
    char caption[256];
    if (!ReadDefault(verbKey, caption, sizeof caption, nullptr, true)) continue;
    VerbRecord record = {};
    if (caption[0]) CopyCut(record.caption, sizeof record.caption, caption, std::strlen(caption));
    else FixedCaption(name, record.caption);
    CopyCut(record.verb, sizeof record.verb, name, std::strlen(name));
    char command[256];
    DWORD type = 0;
    if (!ReadDefault(verbKey + "\\command", command, sizeof command, &type)) continue;
    if (type == REG_EXPAND_SZ) {
      char expanded[sizeof record.command];
      const DWORD n = ExpandEnvironmentStringsA(command, expanded, sizeof expanded);
      if (n == 0 || n > sizeof expanded) continue;
      std::memcpy(record.command, expanded, n);
    } else {
      CopyCut(record.command, sizeof record.command, command, std::strlen(command));
    }
    verbs.push_back(record);
  }
  RegCloseKey(shell);
  return verbs;
}

}  // namespace

int BuildVerbMenu(const char* memberPath, HMENU* menu, HGLOBAL* records) {
  *menu = nullptr;
  *records = nullptr;
  const char* extension = PathExtension(PathNamePart(memberPath));
  if (!extension) return 0;
  const std::string classKey = ClassKey(extension);
  if (classKey.empty()) return 0;
  std::vector<VerbRecord> verbs = ReadVerbs(classKey + "\\shell");
  if (verbs.empty()) return 0;
  char preferred[80];
  if (!ReadDefault(classKey + "\\shell", preferred, sizeof preferred)) preferred[0] = '\0';

  // Menu order: the preferred names in their order; a name no verb answers to stays pending and
  // the remaining verbs follow in enumeration order.
  std::vector<bool> used(verbs.size(), false);
  std::vector<std::size_t> order;
  const char* next = preferred;
  std::string pending;
  bool havePending = false;
  for (std::size_t position = 0; position < verbs.size(); ++position) {
    if (!havePending && *next) {
      const char* comma = std::strchr(next, ',');
      const std::size_t n = comma ? static_cast<std::size_t>(comma - next) : std::strlen(next);
      pending.assign(next, n);
      next += comma ? n + 1 : n;
      havePending = true;
    }
    std::size_t chosen = verbs.size();
    if (havePending) {
      for (std::size_t v = 0; v < verbs.size(); ++v) {
        if (!used[v] && lstrcmpiA(verbs[v].verb, pending.c_str()) == 0) {
          chosen = v;
          havePending = false;
          break;
        }
      }
    }
    if (chosen == verbs.size())
      for (std::size_t v = 0; v < verbs.size() && chosen == verbs.size(); ++v)
        if (!used[v]) chosen = v;
    used[chosen] = true;
    order.push_back(chosen);
  }

  HMENU popup = CreatePopupMenu();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, verbs.size() * sizeof(VerbRecord));
  auto* table = block ? static_cast<VerbRecord*>(GlobalLock(block)) : nullptr;
  if (!popup || !table) {
    if (popup) DestroyMenu(popup);
    if (block) GlobalFree(block);
    return 0;
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    table[i] = verbs[order[i]];
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_TYPE | MIIM_ID | MIIM_DATA | MIIM_STATE;
    item.fType = MFT_STRING;
    item.fState = i == 0 ? MFS_DEFAULT : 0;
    item.wID = static_cast<UINT>(i);
    item.dwItemData = i;  // the record's index in the block
    item.dwTypeData = table[i].caption;
    InsertMenuItemA(popup, static_cast<UINT>(i), TRUE, &item);
  }
  GlobalUnlock(block);
  *menu = popup;
  *records = block;
  return static_cast<int>(order.size());
}
