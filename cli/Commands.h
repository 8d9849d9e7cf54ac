// The five commands of tnlzh; each returns the exit status.
#pragma once

#include "cli/Options.h"

namespace cli {

int RunList(const Options& options);
int RunTest(const Options& options);
int RunExtract(const Options& options);
int RunAdd(const Options& options);
int RunDelete(const Options& options);

}  // namespace cli
