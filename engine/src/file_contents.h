#pragma once

#include <string_view>

#include "source_file.h"
#include "step_error.h"
#include "temp_file.h"

// Filling a fresh temporary file through its descriptor. Plain system calls rather than streams or
// std::filesystem::copy_file, so that a failure carries the system's own reason ("No space left on
// device") instead of a generic input/output error.

// The bytes of `source`. Not its permission bits: a copy gets the mode of any new file, as the re-encodes
// beside it do, so that a source only its owner may read is not uploaded unreadable to the web server.
StepError copyContents(const SourceFile& source, TempFile& destination);
// All of `bytes` to `descriptor`, through interruptions; 0, or the errno of the write that failed.
int writeAll(int descriptor, std::string_view bytes);
StepError writeContents(TempFile& destination, std::string_view bytes);
