#include "commands/MenuMerge.h"

#include <cstring>

namespace {

bool InsertSeparator(HMENU menu, UINT position) {
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_TYPE;
  info.fType = MFT_SEPARATOR;
  return InsertMenuItemA(menu, position, TRUE, &info) != FALSE;
}

}  // namespace

bool IsMenuSeparator(HMENU menu, UINT position) {
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_TYPE;
  return GetMenuItemInfoA(menu, position, TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

int FindMenuItemByText(HMENU menu, const char* text) {
  int found = -1;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char caption[128] = "";
    if (GetMenuStringA(menu, static_cast<UINT>(i), caption, sizeof caption, MF_BYPOSITION) > 0 &&
        std::strcmp(caption, text) == 0)
      found = i;
  }
  return found;
}

UINT MergeMenus(HMENU destination, HMENU source, UINT position, UINT idAdjust, UINT idMaximum,
                UINT flags) {
  if (!destination || !source) return idAdjust;
  UINT highest = idAdjust;
  const int count = GetMenuItemCount(destination);
  bool lastWasSeparator;
  if (count < 0 || position >= static_cast<UINT>(count)) {
    position = count < 0 ? 0 : static_cast<UINT>(count);
    lastWasSeparator = true;
  } else {
    lastWasSeparator = IsMenuSeparator(destination, position);
  }
  bool ours = false;  // the item now at `position` was put there by this merge
  // A separator against the item that follows, when one does.
  if ((flags & MergeAddSeparator) && count > 0 && position < static_cast<UINT>(count) &&
      !IsMenuSeparator(destination, position)) {
    if (!InsertSeparator(destination, position)) return highest;
    lastWasSeparator = true;
    ours = true;
  }
  for (int i = GetMenuItemCount(source) - 1; i >= 0; --i) {
    char caption[256] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
    info.dwTypeData = caption;
    info.cch = sizeof caption;
    if (!GetMenuItemInfoA(source, static_cast<UINT>(i), TRUE, &info)) continue;
    const bool separator = (info.fType & MFT_SEPARATOR) != 0;
    if (separator && lastWasSeparator) continue;
    if (info.hSubMenu) {
      if (flags & MergeKeepPopupIds) {
        info.wID += idAdjust;
        if (info.wID > idMaximum) continue;
        if (info.wID + 1 > highest) highest = info.wID + 1;
      } else {
        info.fMask &= ~MIIM_ID;
      }
      HMENU copy = CreatePopupMenu();
      if (!copy) return highest;
      const UINT inner =
          MergeMenus(copy, info.hSubMenu, 0, idAdjust, idMaximum, flags & MergeKeepPopupIds);
      if (inner > highest) highest = inner;
      info.hSubMenu = copy;
    } else if (!separator) {
      info.wID += idAdjust;
      if (info.wID > idMaximum) continue;
      if (info.wID + 1 > highest) highest = info.wID + 1;
    }
    info.cch = static_cast<UINT>(std::strlen(caption));
    if (!InsertMenuItemA(destination, position, TRUE, &info)) return highest;
    lastWasSeparator = separator;
    ours = true;
  }
  if (position != 0 && !IsMenuSeparator(destination, position - 1)) {
    if ((flags & MergeAddSeparator) && !lastWasSeparator) {
      InsertSeparator(destination, position);
    }
  } else if (lastWasSeparator && ours) {
    // The merged items begin with a separator that would stand at the top or next to another.
    // (Never one of the destination's own items.)
    DeleteMenu(destination, position, MF_BYPOSITION);
  }
  return highest;
}
