// Helpers shared by the two option page procedures.
#pragma once

#include <windows.h>

// Fills a drop-down list with `count` strings of the string table starting at `firstString`.
void FillListFromStrings(HWND page, int control, int firstString, int count);

// For WM_NOTIFY: PSN_APPLY runs `apply` and answers PSNRET_NOERROR; PSN_HELP (the sheet's help
// button) shows the help's options topic. TRUE for those two, FALSE for every other notification.
INT_PTR HandlePageNotification(HWND page, LPARAM lParam, void (*apply)(HWND page));

// Tells the sheet that the page has changes to apply.
void MarkPageChanged(HWND page);
