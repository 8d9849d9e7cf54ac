// Telling the shell and an open view that an archive changed. Every change of an archive (rename,
// adding files, deleting, property pages) ends with this one step, from whatever thread made it.
#pragma once

#include <windows.h>
#include <shlobj.h>

// The shell folder view's own refresh command. A view window that receives it as WM_COMMAND
// re-reads its folder.
constexpr WORD ViewRefreshCommand = 41061;

// Announces that the archive file `archivePath` changed: SHCNE_UPDATEITEM for the file and, when
// given, for the folder's absolute identifier list, then a flush; then posts the refresh command to
// `viewWindow` when it is still a window. Posting (never calling the view) keeps this safe on a
// worker thread, and a window that closed meanwhile is simply not told.
void AnnounceArchiveChange(const char* archivePath, LPCITEMIDLIST folderIdList, HWND viewWindow);
