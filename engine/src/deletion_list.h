#pragma once

#include <string>
#include <vector>

#include "image_optimizer.h"
#include "output_folder.h"
#include "run_events.h"
#include "source_link_guard.h"
#include "step_error.h"

// The list of converted PNG files that the user deletes from the web server by hand: UTF-8, one name
// per line, each line ended by a line feed.

// A name with a control character (a line feed above all), a Unicode line or paragraph separator, or
// bytes that are not UTF-8 cannot be listed without the list naming a wrong file.
bool fitsOnDeletionList(const std::string& name);

// Written under ImageOptimizer::deletionListName, whole into a temporary file and placed over any earlier
// list in one step.
StepError writeDeletionList(OutputFolder& folder, const std::vector<std::string>& names);

// The output folder holds a list (a regular file of that name), from an earlier run.
bool holdsDeletionList(const OutputFolder& folder);

// Brings the list in line with the run's converted PNG files: written when there are any, and otherwise
// an earlier list removed, since its names would delete files from the server that are wanted there now
// (a PNG kept as PNG, or one that keeps its own name). Reported and counted in `totals`.
void settleDeletionList(OutputFolder& folder, const SourceLinkGuard* sourceLinks,
                        ImageOptimizer::Result& totals, const RunEventHandler& events);
