// Which names inside an archive are taken, for the collision questions of an add-files job: by a
// member of the current catalogue, by anything staged on the archive (by this job or any other),
// and by the folders that member paths imply ("docs\x.txt" makes "docs" a folder even without a
// "-lhd-" entry of its own).
//
// A job also counts the files it has settled but not staged yet (queued to be compressed together).
//
// The folder index is kept up to date incrementally: the catalogue's part is rebuilt only when a
// rescan replaced the catalogue, the staged part grows with what was staged since the last look.
// A job that adds n files therefore pays O(n) in all, not a walk over the archive per item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class Archive;
class MemberTable;

class TakenNames {
 public:
  // What takes a path; `spelling` is the taking path as the archive spells it (folders without
  // their trailing backslash), for a replaced member or a merged folder to keep it.
  struct Taker {
    bool file = false;
    bool folder = false;
    std::string spelling;
  };

  // Brings the index up to the archive's catalogue and staged changes. The caller holds the
  // archive's lock from here until it has used Find. False when memory is short.
  bool Refresh(Archive& archive);
  // What takes `path` (no trailing backslash), ignoring letter case.
  Taker Find(Archive& archive, const char* path) const;

  // A file whose name this job has settled but not staged yet (it waits to be compressed with
  // others): it takes its name, and implies its folders, as a staged one would. False when memory
  // is short. ClearQueued forgets them all once they are staged (or given up).
  bool Queue(const char* path);
  void ClearQueued();

 private:
  struct NoCaseHash {
    std::size_t operator()(const std::string& key) const;
  };
  struct NoCaseEqual {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  // Folded folder path with its trailing backslash -> the path as first spelled.
  using FolderIndex = std::unordered_map<std::string, std::string, NoCaseHash, NoCaseEqual>;
  // Adds every folder above `key` (and `key` itself when it is a folder entry).
  static void AddFolders(FolderIndex& index, const char* key);

  std::shared_ptr<const MemberTable> catalogue_;  // the table catalogueFolders_ was built from
  FolderIndex catalogueFolders_;
  FolderIndex stagedFolders_;
  FolderIndex queuedFiles_;    // folded path -> the path as queued
  FolderIndex queuedFolders_;
  std::uint32_t stagedSeen_ = 0;  // staged changes already in stagedFolders_
  std::string lastStaged_;        // the key of the last of them, to notice a list rebuilt
};
