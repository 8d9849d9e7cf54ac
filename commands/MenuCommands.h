// What the item menu and the background menu inside an archive share: the verb strings of the
// commands, the clipboard test for paste, paste itself, loading and merging a menu resource, and
// the bounded copies of GetCommandString.
#pragma once

#include <windows.h>
#include <shlobj.h>

class ArchiveFolder;

// What an InvokeCommand asks for: a command offset, or a verb string. A caller that says it is
// Unicode (CMIC_MASK_UNICODE with the extended record) is read through lpVerbW, which may carry
// the verb while lpVerb is null; only when neither names a string is the low word the offset.
struct Invocation {
  bool byOffset = false;
  UINT offset = 0;
  char verb[80] = "";  // the verb string when not by offset
};
// False when `info` is missing or the verb string cannot be read (too long, not representable).
bool ReadInvocation(const CMINVOKECOMMANDINFO* info, Invocation* out);

// The command an InvokeCommand asks for: the offset, else the fixed command of the verb string,
// else the index of the registry verb of that name in `verbs` (a block of `verbCount`
// VerbRecords, as GetCommandString hands the names out). False for any other string.
bool CommandOfInvocation(const CMINVOKECOMMANDINFO* info, UINT* command, HGLOBAL verbs = nullptr,
                         UINT verbCount = 0);

// The fixed command named by a verb string ("delete", "copy", ...; any letter case). False for
// any other string.
bool CommandOfVerb(const char* verb, UINT* command);

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
