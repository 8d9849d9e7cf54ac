// The two pages the archive view adds to the browser's options dialog: the folder page (dialog
// 110: window mode, start-up view, auto-arrange, member pictures) and the compression page
// (dialog 113: long names, method, header level, progress dialog delay). Each reads the settings
// when it opens and writes them when the sheet applies its pages.
#pragma once

#include <windows.h>
#include <prsht.h>

INT_PTR CALLBACK FolderOptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CompressionOptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Creates both pages (folder first) and hands each to `addPage` with `parameter`, as a view's
// AddPropertySheetPages does. Pages that `addPage` refuses are destroyed again.
void AddOptionPages(LPFNADDPROPSHEETPAGE addPage, LPARAM parameter);
