#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// The list of converted PNG files that the user deletes from the web server by hand: UTF-8, one name
// per line, each line ended by a line feed.

// A name with a control character (a line feed above all) or bytes that are not UTF-8 cannot be listed
// without the list naming a wrong file.
bool fitsOnDeletionList(const std::string& name);

// Written under a temporary name and moved over `file` when complete.
std::error_code writeDeletionList(const std::filesystem::path& file, const std::vector<std::string>& names);
