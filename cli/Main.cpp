// tnlzh: list, test, extract, add to and delete from LZH archives with the Tanuvia engine.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Session.h"

int main(int argc, char** argv) {
  cli::Options options;
  std::string error;
  if (!cli::ParseOptions(argc, argv, &options, &error)) {
    cli::Error(error);
    std::fprintf(stderr, "try 'tnlzh --help'\n");
    return cli::ExitUsage;
  }
  switch (options.command) {
    case cli::Command::Help:
      std::fputs(cli::HelpText(), stdout);
      return cli::ExitOk;
    case cli::Command::List: return cli::RunList(options);
    case cli::Command::Test: return cli::RunTest(options);
    case cli::Command::Extract: return cli::RunExtract(options);
    case cli::Command::Add: return cli::RunAdd(options);
    case cli::Command::Delete: return cli::RunDelete(options);
    case cli::Command::None: break;
  }
  return cli::ExitUsage;
}
