// Replacing and deleting files that are in use, at the next restart.
#pragma once

// Schedules `source` to be moved onto `target` at the next restart, or deleted when `target` is
// null. Windows NT: MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT, plus MOVEFILE_REPLACE_EXISTING
// for a move (without it the old file stays after the restart). The 95 platform, which has no
// such MoveFileEx: a line in the [Rename] section of the WININIT.INI file at `wininitPath`.
// True when the schedule was recorded.
bool ReplaceAtRestart(bool windowsNt, const char* wininitPath, const char* source,
                      const char* target);

// The WININIT.INI edit of the 95 platform: adds the line "target=source" + CR LF ("NUL=source"
// for a deletion) to the [Rename] section of the file at `iniPath`, creating the file when it is
// missing. With a "[Rename]" header (any case, at the start of a line) the line goes at the end of
// that section (WININIT works from the top, so the most recent entry is carried out last);
// without one, "[Rename]" and the line are appended at the end of the file. A CR LF goes first
// when the line would otherwise continue a last line that has no break. The file is edited in
// place through a file mapping, opened without sharing. False when the file could not be opened,
// mapped or resized; the file then keeps its text (a missing one may be left empty).
bool AddWininitRename(const char* iniPath, const char* source, const char* target);

// Takes back a schedule that ReplaceAtRestart made for `source` and `target`: the pending rename
// of Windows NT or the WININIT.INI line of the 95 platform is removed, other entries stay as they
// are. True when no such entry is left.
bool CancelReplaceAtRestart(bool windowsNt, const char* wininitPath, const char* source,
                            const char* target);
