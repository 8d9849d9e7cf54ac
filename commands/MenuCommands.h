// What the item menu and the background menu inside an archive share: the verb strings of the
// commands, the clipboard test for paste, paste itself, loading and merging a menu resource, and
// the bounded copies of GetCommandString.
#pragma once

#include <windows.h>
#include <shlobj.h>

class ArchiveFolder;

// The command an InvokeCommand asks for: the low word of lpVerb when its high word is 0, else
// the command named by the verb string ("delete", "copy", ...). False for any other string.
bool CommandOfInvocation(const CMINVOKECOMMANDINFO* info, UINT* command);

// The verb string of a command, or null when it has none.
const char* VerbOfCommand(UINT command);

// True when the clipboard holds a file list (CF_HDROP in global memory).
bool ClipboardHasFileList();

// Hands the clipboard's file list to an add-files job that compresses it under `targetPath`
// (empty or ending with a backslash) of the folder's archive on a worker thread. False when the
// clipboard holds no file list or no job could be made.
bool PasteInto(HWND owner, ArchiveFolder* folder, const char* targetPath);

// Loads menu resource `id` and merges its items into `menu` at `position` with the identifiers
// shifted by `first` (none above `last`), a separator against the neighbouring items. The value
// of MergeMenus; 0 when the resource cannot be loaded.
UINT MergeMenuResource(HMENU menu, UINT id, UINT position, UINT first, UINT last);

// Copies `text` into the caller's buffer of `size` units for GetCommandString: UTF-16 (from the
// OEM code page) when `kind` has GCS_UNICODE, else bytes cut on a character boundary. Writes
// nothing for size 0; the result always ends inside the buffer.
void CopyCommandText(const char* text, UINT kind, LPSTR buffer, UINT size);

// Tells the user that the archive could not be rewritten with a change (owner `owner`).
void TellChangeNotWritten(HWND owner, const char* archivePath);
