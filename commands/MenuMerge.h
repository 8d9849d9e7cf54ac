// Plain helpers over menu handles for the context menus inside an archive.
#pragma once

#include <windows.h>

// Merge flags.
constexpr UINT MergeAddSeparator = 1;  // a separator between the merged and the neighbouring items
constexpr UINT MergeKeepPopupIds = 2;  // popup items carry identifiers of their own

// Inserts the items of `source` into `destination` at `position`, each identifier shifted by
// `idAdjust`; items whose shifted identifier passes `idMaximum` are left out, submenus are
// copied recursively, and no two separators end up side by side nor one at the top. Returns one
// more than the highest identifier inserted (at least `idAdjust`).
UINT MergeMenus(HMENU destination, HMENU source, UINT position, UINT idAdjust, UINT idMaximum,
                UINT flags);

// Position of the last item whose caption is exactly `text`, or -1.
int FindMenuItemByText(HMENU menu, const char* text);

// True when the item at `position` is a separator.
bool IsMenuSeparator(HMENU menu, UINT position);
