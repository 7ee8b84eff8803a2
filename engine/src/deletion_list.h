#pragma once

#include <string>
#include <vector>

#include "output_folder.h"
#include "step_error.h"

// The list of converted PNG files that the user deletes from the web server by hand: UTF-8, one name
// per line, each line ended by a line feed.

// A name with a control character (a line feed above all), a Unicode line or paragraph separator, or
// bytes that are not UTF-8 cannot be listed without the list naming a wrong file.
bool fitsOnDeletionList(const std::string& name);

// Written under ImageOptimizer::deletionListName, whole into a temporary file and placed over any earlier
// list in one step.
StepError writeDeletionList(OutputFolder& folder, const std::vector<std::string>& names);
