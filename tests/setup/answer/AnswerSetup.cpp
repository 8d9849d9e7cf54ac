// answer_setup PROGRAM [ARGUMENTS]
//
// Runs tnsetup as a user who agrees: yes to the install or removal question, OK to every other
// message, no to the restart question (under Wine a restart would end the session; the pending
// replacements are made when the prefix next starts). Prints each message in UTF-8 and exits with
// the installer's exit code, or 3 when the run itself went wrong. Used by scripts/install.sh.
#include <windows.h>

#include <cstdio>
#include <string>

#include "setup/InstallerDriver.h"

namespace {

std::string Utf8(const std::string& shiftJis) {
  std::wstring wide(shiftJis.size() + 1, L'\0');
  int length = MultiByteToWideChar(932, 0, shiftJis.c_str(), -1, &wide[0],
                                   static_cast<int>(wide.size()));
  std::string utf8(4 * wide.size(), '\0');
  length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), length, &utf8[0],
                               static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(length > 0 ? length - 1 : 0);
  return utf8;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: answer_setup PROGRAM [ARGUMENTS]\n");
    return 3;
  }
  setuptest::SetupRun run =
      setuptest::RunSetup(argv[1], argc == 3 ? argv[2] : "", {IDYES, IDOK, IDOK, IDOK});
  for (const std::string& text : run.texts) std::printf("tnsetup: %s\n", Utf8(text).c_str());
  if (!run.problem.empty()) {
    std::fprintf(stderr, "answer_setup: %s\n", run.problem.c_str());
    return 3;
  }
  return static_cast<int>(run.exitCode);
}
