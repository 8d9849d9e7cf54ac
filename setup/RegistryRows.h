// The registrations of tnsetup: tables A (HKEY_CLASSES_ROOT), B (HKEY_CLASSES_ROOT, Windows NT
// only), V (HKEY_CLASSES_ROOT, Windows Vista and later) and C (HKEY_LOCAL_MACHINE), written at
// install, put back when an install fails, and removed again.
//
// Every row's key path is split in two: a `kept` part that belongs to the system or to other
// programs (such as "CLSID" or "Directory") and an `owned` part below it that the installer
// creates. Removal deletes a value only while it still holds the installer's data, then deletes the
// owned keys from the deepest up while they are empty, so the outcome does not depend on the order
// of the rows, another program's data and keys survive, and a row whose key or value is already
// gone counts as removed. Every value of another program that the install overwrites, and every
// key it creates where the system had none, is recorded under the Uninstall key; removal puts
// those values back and deletes those keys once they are empty.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/SetupValues.h"

struct RegistryRow {
  char table;          // 'A', 'B', 'V' (Windows Vista and later) or 'C'
  HKEY root;
  const char* kept;    // leading part of the key path that is never deleted ("" for none)
  const char* owned;   // the rest of the key path ("" for none)
  const char* name;    // value name; nullptr for the key's default value
  DWORD type;          // REG_SZ, REG_DWORD, REG_BINARY (written empty), or REG_NONE: only the key
  const char* data;    // REG_SZ text, written with its terminating NUL; REG_DWORD number text

  std::string keyPath() const;
};

// The rows of tables A, B and C in table order, with the values built at start.
std::vector<RegistryRow> BuildRegistryRows(const SetupValues& values);

// What the rows written by one install run held before, newest last.
struct JournalEntry {
  RegistryRow row;
  bool anyData;               // the row's value is ours whatever it holds
  bool hadValue;
  DWORD type;
  std::vector<BYTE> bytes;
  std::string record;         // a value of the record store: its name (the row's name is unused)
};
using RegistryJournal = std::vector<JournalEntry>;

// Writes table A, on Windows NT table B, on Windows Vista and later table V, then table C (RegCreateKeyEx with KEY_SET_VALUE, then
// RegSetValueEx for a row with a value). Every row is attempted; each is journalled before it is
// written. True when every row was written.
bool WriteRegistryRows(const SetupValues& values, RegistryJournal& journal);

// Undoes one install run, newest row first: a value that existed before gets its old data back,
// any other value of the run is removed as at uninstall, and owned keys left empty are deleted.
void UndoRegistryRows(const RegistryJournal& journal);

// Removes table B (Windows NT), then V, A and C, each from its last row to its first. True when
// nothing of the installer's is left; false when a value or key of its could not be deleted.
bool RemoveRegistryRows(const SetupValues& values);
