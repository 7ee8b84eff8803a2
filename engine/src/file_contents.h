#pragma once

#include <string_view>

#include "source_file.h"
#include "step_error.h"
#include "temp_file.h"

// Filling a fresh temporary file through its descriptor. Plain system calls rather than streams or
// std::filesystem::copy_file, so that a failure carries the system's own reason ("No space left on
// device") instead of a generic input/output error.

// The bytes of `source`, and its permission bits where the file system keeps them (FAT does not, and
// that is no reason to fail a copy).
StepError copyContents(const SourceFile& source, TempFile& destination);
// All of `bytes` to `descriptor`, through interruptions; 0, or the errno of the write that failed.
int writeAll(int descriptor, std::string_view bytes);
StepError writeContents(TempFile& destination, std::string_view bytes);
