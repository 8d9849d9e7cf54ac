// The request that carries an open-and-update job from the shell's process to the watcher
// process through an anonymous pipe: a fixed 1,544-byte block of three Shift-JIS strings.
#pragma once

#include <cstddef>

#pragma pack(push, 1)
struct UpdateRequest {
  char archivePath[260];
  char memberPath[260];      // full path inside the archive
  char commandTemplate[1024];  // the verb's command ("%1" stands for the file)
};
#pragma pack(pop)

static_assert(sizeof(UpdateRequest) == 1544, "update request size");
static_assert(offsetof(UpdateRequest, memberPath) == 260, "update request layout");
static_assert(offsetof(UpdateRequest, commandTemplate) == 520, "update request layout");
