// The verbs the registry defines for a member's file type ("open", "print", ...), as a popup
// menu and a table of records whose command templates open-and-update later runs.
#pragma once

#include <windows.h>

#include <cstddef>

#pragma pack(push, 1)
struct VerbRecord {
  char caption[80];   // menu text, may hold an "&" accelerator
  char verb[80];      // the subkey name under "shell"
  char command[260];  // the command template ("%1" for the file)
};
#pragma pack(pop)
static_assert(sizeof(VerbRecord) == 420, "verb record size");

// The verbs for the member at `memberPath` (its extension is taken from the name part): a new
// popup menu with one string item per verb (identifiers 0, 1, ...; the first one the default)
// and a movable block of as many VerbRecords in menu order. Returns the count; 0 with both
// outputs null when the type has no usable verb. The caller owns the menu and the block.
int BuildVerbMenu(const char* memberPath, HMENU* menu, HGLOBAL* records);
