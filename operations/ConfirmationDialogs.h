// The three modal questions asked when a name is already taken:
//   dialog 503: an extracted member would overwrite an existing file;
//   dialog 121: an item to be added collides with a member of the other kind (file vs folder);
//   dialog 124: a file to be added has the name of an existing member file.
// Each is a resource template with a dialog procedure; the caller passes one record and reads the
// answer from the result and from the record.
#pragma once

#include <windows.h>

#include "archive/OverwriteQuestion.h"

// Name record of dialogs 121 and 124.
struct NameConflictRecord {
  char itemName[260];    // the item's file name as found on disk
  char shownName[260];   // text of the message's first "%s" (121: path in the archive; 124: name)
  char nameBuffer[260];  // in: name the item is to be stored under; out: the name chosen
  int form;              // dialog 121 only: 1 a folder has the name, 0 a file has it
  int allAnswer;         // dialog 124 only: 1 when "すべて上書き圧縮(&A)" was chosen
};

// Dialog 503. Returns 1 overwrite, 2 overwrite this and all following, 3 keep the existing file,
// 4 stop. A dialog that cannot be shown answers 4: nothing is overwritten without a yes.
int RunOverwriteDialog(HWND owner, const OverwriteRecord& record);

// The engine's overwrite callback for extraction started by the shell library: `ownerWindow` is
// the HWND that owns the dialog.
OverwriteAnswer AskOverwriteWithDialog(void* ownerWindow, const OverwriteRecord& record);

// Dialog 121. Returns 1 (store under record.nameBuffer) or 2 (skip the item; also when the
// dialog cannot be shown).
int RunFolderConflictDialog(HWND owner, NameConflictRecord& record);

// Dialog 124. Returns 1 (store under record.nameBuffer; record.allAnswer may be set) or 2 (skip
// the item; also when the dialog cannot be shown).
int RunFileConflictDialog(HWND owner, NameConflictRecord& record);
