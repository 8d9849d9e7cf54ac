// The five files of the package: taken from the installer's own folder, copied into the SHELLEXT
// folder (through a temporary copy replaced at restart when the target is in use or exists), and
// deleted again.
#pragma once

#include "setup/SetupValues.h"

constexpr int PackageFileCount = 5;
extern const char* const PackageFiles[PackageFileCount];  // "TANUFOLD.DLL", "TNSETUP.EXE", ...

// The name of a package file's temporary copy: the first five characters of its base name, the
// three of its extension and the extension "TMP" ("TANUFOLD.DLL" -> "TANUFDLL.TMP"). The five
// copies must differ (the base names alone would all give "TANUFOLD.TMP") and stay 8.3 names,
// which is all that WININIT can handle on the 95 platform. `out` holds at least 13 bytes.
void TemporaryName(const char* name, char* out);

// The full path of the first package file missing from the installer's folder, or "" when all
// five are there.
void FindMissingSource(const SetupValues& values, char (&missing)[MAX_PATH]);

struct CopyResult {
  bool ok = true;               // every file was copied or its replacement scheduled
  bool restartNeeded = false;   // at least one replacement waits for the restart
  bool copied[PackageFileCount] = {};     // copied straight to its target by this run
  bool scheduled[PackageFileCount] = {};  // its temporary copy replaces it at the restart
};

// Creates the SHELLEXT folder and copies the five files into it, failing if a target exists;
// a file whose copy fails is copied to its temporary name (overwriting) and scheduled to replace
// the target at the next restart. Every file is attempted.
CopyResult CopyPackageFiles(const SetupValues& values);

// Takes back what `result` says this run did: deletes the files it copied straight to their
// targets, and for each scheduled replacement removes the pending entry and the temporary copy.
// Installed files are left without the read-only bit, so that removal can delete them.
void DeleteCopiedFiles(const SetupValues& values, const CopyResult& result);

struct DeleteResult {
  bool ok = true;              // every file is gone or its deletion scheduled
  bool restartNeeded = false;
};

// Deletes the five files and their temporary copies from the SHELLEXT folder; a file that cannot
// be deleted (such as the running installer) is scheduled for deletion at the next restart. A file
// already missing counts as deleted. Deleting the temporary copies keeps a replacement that an
// earlier install left pending from bringing a file back at the restart. The folder itself stays.
DeleteResult DeletePackageFiles(const SetupValues& values);
