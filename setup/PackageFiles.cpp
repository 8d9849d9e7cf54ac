#include "setup/PackageFiles.h"

#include <cstring>
#include <initializer_list>

#include "setup/ReplaceAtRestart.h"

// TANUFOLD.HTM is the help for systems without WinHelp; it comes last, after the files that
// earlier versions installed.
const char* const PackageFiles[PackageFileCount] = {"TANUFOLD.DLL", "TNSETUP.EXE", "TANUFOLD.HLP",
                                                    "TANUFOLD.CNT", "TANUFOLD.HTM"};

namespace {

// folder + name into a MAX_PATH buffer; false when it does not fit.
bool MakePath(char (&path)[MAX_PATH], const char* folder, const char* name) {
  if (std::strlen(folder) + std::strlen(name) >= MAX_PATH) return false;
  wsprintfA(path, "%s%s", folder, name);
  return true;
}

// Files copied from read-only media keep the read-only bit, which DeleteFile then refuses.
void ClearReadOnly(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace

void TemporaryName(const char* name, char* out) {
  const char* dot = std::strrchr(name, '.');
  std::size_t base = dot ? static_cast<std::size_t>(dot - name) : std::strlen(name);
  std::size_t keep = base < 5 ? base : 5;
  std::memcpy(out, name, keep);
  std::size_t length = keep;
  if (dot) {
    std::size_t extension = std::strlen(dot + 1) < 3 ? std::strlen(dot + 1) : 3;
    std::memcpy(out + length, dot + 1, extension);
    length += extension;
  }
  std::memcpy(out + length, ".TMP", 5);
}

void FindMissingSource(const SetupValues& values, char (&missing)[MAX_PATH]) {
  for (const char* name : PackageFiles) {
    if (!MakePath(missing, values.sourceFolder, name)) {
      lstrcpynA(missing, name, MAX_PATH);
      return;
    }
    DWORD attributes = GetFileAttributesA(missing);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  }
  missing[0] = '\0';
}

CopyResult CopyPackageFiles(const SetupValues& values) {
  CopyResult result;
  CreateDirectoryA(values.shellExtFolder, nullptr);
  for (int i = 0; i < PackageFileCount; ++i) {
    char source[MAX_PATH], target[MAX_PATH], temporary[MAX_PATH], temporaryName[16];
    TemporaryName(PackageFiles[i], temporaryName);
    if (!MakePath(source, values.sourceFolder, PackageFiles[i]) ||
        !MakePath(target, values.shellExtFolder, PackageFiles[i]) ||
        !MakePath(temporary, values.shellExtFolder, temporaryName)) {
      result.ok = false;
      continue;
    }
    if (CopyFileA(source, target, TRUE)) {
      result.copied[i] = true;
      ClearReadOnly(target);
      continue;
    }
    ClearReadOnly(temporary);
    if (!CopyFileA(source, temporary, FALSE)) {
      result.ok = false;
      continue;
    }
    ClearReadOnly(temporary);
    if (ReplaceAtRestart(values.windowsNt, values.wininitPath, temporary, target)) {
      result.restartNeeded = true;
      result.scheduled[i] = true;
    } else {
      DeleteFileA(temporary);
      result.ok = false;
    }
  }
  return result;
}

void DeleteCopiedFiles(const SetupValues& values, const CopyResult& result) {
  for (int i = 0; i < PackageFileCount; ++i) {
    char target[MAX_PATH];
    if (!MakePath(target, values.shellExtFolder, PackageFiles[i])) continue;
    if (result.copied[i]) DeleteFileA(target);
    char temporary[MAX_PATH], temporaryName[16];
    TemporaryName(PackageFiles[i], temporaryName);
    if (result.scheduled[i] && MakePath(temporary, values.shellExtFolder, temporaryName)) {
      // Taken out of the restart's list before the copy goes, so the restart changes nothing.
      CancelReplaceAtRestart(values.windowsNt, values.wininitPath, temporary, target);
      DeleteFileA(temporary);
    }
  }
}

DeleteResult DeletePackageFiles(const SetupValues& values) {
  DeleteResult result;
  for (const char* name : PackageFiles) {
    char temporaryName[16];
    TemporaryName(name, temporaryName);
    for (const char* file : {name, static_cast<const char*>(temporaryName)}) {
      char path[MAX_PATH];
      if (!MakePath(path, values.shellExtFolder, file)) {
        result.ok = false;
      } else if ((ClearReadOnly(path), DeleteFileA(path)) ||
                 GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        // Deleted, or there was nothing to delete.
      } else if (ReplaceAtRestart(values.windowsNt, values.wininitPath, path, nullptr)) {
        result.restartNeeded = true;
      } else {
        result.ok = false;
      }
    }
  }
  return result;
}
