// Reads a picture file whole, by its ANSI path, within the library's file-size bound.
#pragma once
#include <stdint.h>

#include "imgctl/core/kept_blocks.h"

namespace imgctl {

// The file's bytes; false for a missing or unreadable file or one past kMaxFileBytes.
bool ReadPictureFile(const char *path, FileBytes *bytes);

}  // namespace imgctl
