// Names in a folder of the local file system (the command-line tool's walk for `a`).
#pragma once

#include <string>
#include <vector>

namespace cli {

// The names in `folder`, without "." and "..", sorted bytewise. False when it cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>* names);

}  // namespace cli

#include "platform/Platform.h"

namespace cli {

// Creation, last-access and last-write time of a file or folder. False when it cannot be read.
bool PathTimes(const std::string& path, platform::FileTime* create, platform::FileTime* access,
               platform::FileTime* write);

}  // namespace cli
