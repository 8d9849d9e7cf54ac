// Extraction of the items selected in an archive folder's view (files and whole folders) into a
// folder the user picks. Paths on disk are relative to the view's folder inside the archive.
#pragma once

#include <windows.h>
#include <shlobj.h>

class Archive;

// Asks for the target folder (title string 6), then extracts the items in selection order. An
// existing target is replaced only when the user agrees in the overwrite dialog; "all" holds for
// the rest of the selection and "cancel" ends it. A member whose stored path would leave the
// chosen folder is not written. 1 when a folder was chosen, 0 when the picker was cancelled or
// gave no file-system path. `threads` decode members ahead of the writing (0: one per core, for
// members of ShellHandOffBytes or more; 1: none beside the calling thread); the questions and the writing keep the selection's order.
int ExtractSelection(Archive* archive, const char* folderPath, UINT count, LPCITEMIDLIST* items,
                     HWND owner, unsigned threads = 0);
