// Command line of tnlzh: one command letter, the archive, options and paths.
#pragma once

#include <string>
#include <vector>

namespace cli {

enum class Command { None, List, Test, Extract, Add, Delete, Help };

struct Options {
  Command command = Command::None;
  std::string archive;
  std::string folder;           // -C: extraction target, or base folder of the paths to add
  bool force = false;           // -f: replace existing files when extracting
  bool quiet = false;           // -q: no progress bar
  char method = '5';            // -m: '0', '4'..'7'
  int headerLevel = 2;          // -h: 0..3
  unsigned threads = 0;         // -j: worker threads for compressing or decoding (0: one per core)
  std::vector<std::string> paths;
};

// Fills `options` from argv. False with a message in `error` for a usage error.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

// The text of `tnlzh --help`.
const char* HelpText();

}  // namespace cli
