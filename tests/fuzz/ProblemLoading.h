// Loading one problem file into a fresh container, as the fuzz targets of problem files do.
#pragma once

#include "AnsiString.h"

#include <cstddef>

// The memory the pictures of one input may decode into: a few bytes can declare a picture of a
// hundred megabytes, which the program allows and which decodes for seconds; every real picture
// fits well below this.
inline constexpr std::size_t FuzzPictureBytes = 16u * 1024 * 1024;

// Writes the bytes as the problem file, loads it, checks what any load must leave behind and the
// records against the fuzz targets' own reading of the text; returns the text the load inflated.
AnsiString LoadProblemFile(const AnsiString& fileBytes);
