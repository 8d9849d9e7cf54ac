// The property sheets of the context menus' "ﾌﾟﾛﾊﾟﾃｨ(&R)" command: the members' sheet (one
// member: the member page and the comment page; several: the page of their totals) and the
// archive file's sheet. The pages apply their changes to the archive as header-only changes in
// one commit.
#pragma once

#include <windows.h>

#include <vector>

#include "namespace/ItemId.h"

class ArchiveFolder;

// What the pages of one sheet work on: the folder the selection belongs to (the caller keeps a
// reference for the sheet's lifetime) and private copies of the selected items in order.
struct PropertyTarget {
  ArchiveFolder* folder = nullptr;
  std::vector<ItemId> items;
};

// Shows the members' sheet modally, owned by `owner`. Returns when the sheet is closed.
void ShowMemberProperties(HWND owner, PropertyTarget& target);

// Shows the archive file's sheet modally, owned by `owner`.
void ShowArchiveProperties(HWND owner, ArchiveFolder* folder);
