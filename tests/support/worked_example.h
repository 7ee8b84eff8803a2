#pragma once

#include <string>
#include <vector>

// The worked example of the log: a source folder holding a.png (large; it becomes a.jpg) and b.jpg (under
// the size threshold), in changedOnly mode. The lines the log shows after "Starting…", spelled out here
// rather than taken from the engine, so that a changed wording fails the window's and the command
// line's tests alike.
inline const std::vector<std::string> workedExampleLog{
    "[1/2] a.png",
    "[2/2] b.jpg",
    "",
    "Done. 1 resized/converted, 1 already small.",
    "",
    "1 file(s) changed format and won't be overwritten on the server.",
    "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list."};
