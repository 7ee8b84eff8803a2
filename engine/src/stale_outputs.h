#pragma once

#include <set>
#include <string>
#include <vector>

#include "output_folder.h"
#include "run_events.h"
#include "run_plan.h"
#include "source_link_guard.h"

// What earlier runs made that this plan does not: the files of the output folder that carry a record
// (output_record.h) under a name no file of the plan may leave there. Files without a record are not
// the program's and are never among them. Only the output folder's own files are looked at, or with
// `recursive` its whole tree, but hidden folders, links and folders of the source.
std::vector<OutputRemoved> findStaleOutputs(const OutputFolder& folder, const std::vector<FilePlan>& files,
                                            bool recursive, bool foldsCase);

// Outputs of earlier runs where the source now has folders of those names (relative to the source
// folder): they go before anything is placed, and a plan looks through them (OutputFolder::lookThrough).
std::set<std::string> outputsWhereFoldersGo(const OutputFolder& folder,
                                            const std::vector<std::string>& folders);

// Removes them, each reported as an OutputRemoved event and counted; one that is no longer the
// program's file, or that a source entry links to, stays.
void removeStaleOutputs(OutputFolder& folder, const SourceLinkGuard* sourceLinks,
                        const std::vector<OutputRemoved>& stale, const RunEventHandler& events,
                        ImageOptimizer::Result& totals);
