#include "cli/Options.h"

#include <cstdlib>
#include <cstring>

namespace cli {
namespace {

Command CommandOf(const char* word) {
  if (!std::strcmp(word, "l")) return Command::List;
  if (!std::strcmp(word, "t")) return Command::Test;
  if (!std::strcmp(word, "x")) return Command::Extract;
  if (!std::strcmp(word, "a")) return Command::Add;
  if (!std::strcmp(word, "d")) return Command::Delete;
  if (!std::strcmp(word, "--help") || !std::strcmp(word, "-?") || !std::strcmp(word, "help"))
    return Command::Help;
  return Command::None;
}

// Options each command accepts; anything else is a usage error.
bool Accepts(Command command, char option) {
  switch (option) {
    case 'q': return command == Command::Add || command == Command::Extract ||
                     command == Command::Test || command == Command::List ||
                     command == Command::Delete;
    case 'C': return command == Command::Extract || command == Command::Add;
    case 'f': return command == Command::Extract;
    case 'j': return command == Command::Add || command == Command::Extract;
    case 'm':
    case 'h': return command == Command::Add;
    default: return false;
  }
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  *options = Options();
  if (argc < 2) {
    *error = "no command given";
    return false;
  }
  options->command = CommandOf(argv[1]);
  if (options->command == Command::Help) return true;
  if (options->command == Command::None) {
    *error = std::string("unknown command '") + argv[1] + "'";
    return false;
  }
  bool onlyPaths = false;
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    if (!onlyPaths && !std::strcmp(arg, "--")) {
      onlyPaths = true;
      continue;
    }
    if (!onlyPaths && !std::strcmp(arg, "--help")) {
      options->command = Command::Help;
      return true;
    }
    if (!onlyPaths && arg[0] == '-' && arg[1] != '\0') {
      char option = arg[1];
      if (!Accepts(options->command, option)) {
        *error = std::string("option '") + arg + "' not valid here";
        return false;
      }
      if (option == 'q' || option == 'f') {
        if (arg[2]) {
          *error = std::string("unexpected text after '-") + option + "'";
          return false;
        }
        (option == 'q' ? options->quiet : options->force) = true;
        continue;
      }
      // -C DIR, -m N, -h N, -j N; the value may also follow without a space (-m5).
      const char* value = arg[2] ? arg + 2 : (i + 1 < argc ? argv[++i] : nullptr);
      if (!value) {
        *error = std::string("option '-") + option + "' needs a value";
        return false;
      }
      if (option == 'C') {
        options->folder = value;
      } else if (option == 'm') {
        if (std::strlen(value) != 1 || !std::strchr("04567", value[0])) {
          *error = std::string("method must be 0, 4, 5, 6 or 7, not '") + value + "'";
          return false;
        }
        options->method = value[0];
      } else if (option == 'j') {
        char* end = nullptr;
        const unsigned long threads = std::strtoul(value, &end, 10);
        if (!*value || *end || threads < 1 || threads > 64) {
          *error = std::string("threads must be 1 to 64, not '") + value + "'";
          return false;
        }
        options->threads = static_cast<unsigned>(threads);
      } else {
        if (std::strlen(value) != 1 || value[0] < '0' || value[0] > '3') {
          *error = std::string("header level must be 0, 1, 2 or 3, not '") + value + "'";
          return false;
        }
        options->headerLevel = value[0] - '0';
      }
      continue;
    }
    if (options->archive.empty())
      options->archive = arg;
    else
      options->paths.push_back(arg);
  }
  if (options->archive.empty()) {
    *error = "no archive given";
    return false;
  }
  bool wantsPaths = options->command == Command::Add || options->command == Command::Delete;
  if (wantsPaths && options->paths.empty()) {
    *error = "no paths given";
    return false;
  }
  if (!wantsPaths && !options->paths.empty()) {
    *error = std::string("unexpected argument '") + options->paths[0] + "'";
    return false;
  }
  return true;
}

const char* HelpText() {
  return
      "usage: tnlzh COMMAND ARCHIVE [OPTIONS] [PATH...]\n"
      "\n"
      "commands:\n"
      "  l ARCHIVE                 list the members: method, packed and original size, ratio,\n"
      "                            CRC-16, header level, date and path\n"
      "  t ARCHIVE                 decode every member and check its CRC-16\n"
      "  x ARCHIVE [-C DIR] [-f] [-j N]\n"
      "                            extract every member below DIR (default: the current\n"
      "                            folder), with folders, times and attributes; existing\n"
      "                            files are kept unless -f is given\n"
      "  a ARCHIVE [-m M] [-h H] [-j N] [-C DIR] PATH...\n"
      "                            add files and folders (folders recursively, each with a\n"
      "                            folder entry) under their paths relative to DIR (default:\n"
      "                            the current folder); creates the archive when it is\n"
      "                            missing; a member of the same path is replaced\n"
      "  d ARCHIVE PATH...         delete members; a folder path deletes everything below it\n"
      "\n"
      "options:\n"
      "  -m 0|4|5|6|7   method -lh0- (stored) or -lh4- .. -lh7- (default 5); data that does\n"
      "                 not shrink is stored as -lh0-\n"
      "  -h 0|1|2|3     header level of new members (default 2)\n"
      "  -j N           compress (a) or decode (x) on N threads (default: one per core); the\n"
      "                 archive and the files are the same whatever N is\n"
      "  -C DIR         folder to extract into, or to take the paths to add relative to\n"
      "  -f             replace existing files when extracting\n"
      "  -q             no progress bar (shown on stderr for a, x and t when it is a terminal)\n"
      "                 and no closing \"members ok\" of t; warnings, such as a file kept by\n"
      "                 x, and errors are always shown\n"
      "  --help         this text\n"
      "\n"
      "Member paths are separated by '\\' in the archive; '/' is accepted on the command line.\n"
      "Members whose path would leave the target folder (absolute paths, drives, '..', ':')\n"
      "are never extracted. Files of 4 GiB or more, and archives that would grow past 2 GiB,\n"
      "are refused.\n"
#ifdef _WIN32
      "Names are taken and shown as ANSI (code page 932) bytes.\n"
#else
      "Names are stored as Shift-JIS (code page 932) and shown and written as UTF-8.\n"
#endif
      "\n"
      "exit status: 0 everything succeeded, 1 some member failed (named on stderr),\n"
      "2 usage error or an archive that cannot be opened\n";
}

}  // namespace cli
