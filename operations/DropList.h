// Reading the file list of a CF_HDROP medium. The medium may come from another process, so its
// layout is checked before a byte of it is trusted: the block's size, the offset of the names,
// and the empty name that ends the list inside the block.
#pragma once

#include <windows.h>

class StringList;

struct DropListCounts {
  unsigned taken = 0;    // paths appended
  unsigned skipped = 0;  // names too long for a path buffer, not representable, or with * or ?
};

// Appends every usable path of the DROPFILES block in `medium` to `paths` in list order (data 0,
// no record). Wide names are converted to the system code page; a name that would come out with
// a replacement character is skipped, as is one that does not fit 260 bytes with its terminator
// or that holds a wildcard (a drop names files, never patterns). False, with nothing appended,
// when the block is not a well-formed file list.
bool ReadDropList(HGLOBAL medium, StringList& paths, DropListCounts* counts = nullptr);
