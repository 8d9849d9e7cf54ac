// Reading the file list of a CF_HDROP medium. The medium may come from another process, so its
// layout is checked before a byte of it is trusted: the block's size, the offset of the names,
// and the empty name that ends the list inside the block.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class StringList;

// Why an item the user gave was not added; each reason has its line in the closing message.
enum class NotAddedReason {
  Unrepresentable,  // the name has a character the code page of the file calls cannot hold
  TooLong,          // the path, on disk or inside the archive, does not fit a path buffer
  Wildcard,         // a name with * or ? (a drop names files, never patterns)
  Vanished,         // the file was gone before it was read
  Link,             // a link or junction (never followed: it may lead back into its own folder)
  Unreadable,       // the file could not be opened or read through
  TooLarge,         // 4 GiB or more: the format's sizes have 32 bits
  NoTempFile,       // no temporary file could be made for its compressed data
};

struct NotAddedItem {
  std::string shown;  // the path as the message shows it ('?' for characters it cannot show)
  NotAddedReason reason;
};

struct DropListCounts {
  unsigned taken = 0;    // paths appended
  unsigned skipped = 0;  // names too long for a path buffer, not representable, or with * or ?
  std::vector<NotAddedItem> notAdded;  // the skipped names, in list order
};

// Appends every usable path of the DROPFILES block in `medium` to `paths` in list order (data 0,
// no record). Wide names go through WideToName (no best fit: "café" never becomes "cafe", another
// file); a name it refuses is skipped, as is one that does not fit 260 bytes with its terminator
// or that holds a wildcard. False, with nothing appended, when the block is not a well-formed
// file list.
bool ReadDropList(HGLOBAL medium, StringList& paths, DropListCounts* counts = nullptr);

// `wide` as the messages can show it: each character through WideToName, '?' for one that has no
// byte form. Never fails; cut to fit 260 bytes.
std::string ShownName(const wchar_t* wide);
