// Helpers shared by the two option page procedures.
#pragma once

#include <windows.h>

// Fills a drop-down list with `count` strings of the string table starting at `firstString`.
void FillListFromStrings(HWND page, int control, int firstString, int count);

// For WM_NOTIFY: when the notification is PSN_APPLY, runs `apply`, answers PSNRET_NOERROR and
// returns TRUE; FALSE for every other notification.
INT_PTR HandleApplyNotification(HWND page, LPARAM lParam, void (*apply)(HWND page));

// Tells the sheet that the page has changes to apply.
void MarkPageChanged(HWND page);
