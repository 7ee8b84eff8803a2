#include "json_report.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "run_log.h"
#include "stop_signals.h"

namespace {

using Json = nlohmann::ordered_json;

// Stable words for scripts, apart from the log's sentences, which may be reworded.
const char* outcomeWord(FileFate fate) {
  switch (fate) {
    case FileFate::reencoded:
      return "reencoded";
    case FileFate::grew:
      return "grew";
    case FileFate::small:
      return "small";
    case FileFate::copied:
      return "copied";
    case FileFate::keptOwnName:
      return "kept-own-name";
    case FileFate::failed:
      return "failed";
    case FileFate::unchanged:
      return "unchanged";
    case FileFate::keptAnimation:
      return "kept-animation";
  }
  return "failed";
}

// What a dry run plans for a file; whether anything is written is in its output name.
const char* actionWord(FileHandling handling) {
  switch (handling) {
    case FileHandling::reencode:
      return "reencode";
    case FileHandling::small:
      return "small";
    case FileHandling::copy:
      return "copy";
    case FileHandling::keepOwnName:
      return "keep-own-name";
  }
  return "small";
}

Json nameOrNull(const std::string& name) {
  return name.empty() ? Json() : Json(name);
}

// The log's lines about the file, in one: why it did not go as planned, or why it kept its name.
Json reasonOf(const FileOutcome& outcome) {
  std::string reason;
  for (const std::string& line : run_log::linesOf(outcome))
    reason += (reason.empty() ? "" : "; ") + line.substr(line.find_first_not_of(' '));
  return reason.empty() ? Json() : Json(reason);
}

// Names are bytes; one that is not UTF-8 shows U+FFFD where its bytes are not.
std::string lineOf(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

void JsonReport::print(const RunEvent& event) {
  const auto* outcome = std::get_if<FileOutcome>(&event);
  if (!outcome)
    return;  // an unwritten deletion list is in the summary
  const Json line{{"type", "file"},
                  {"number", outcome->number},
                  {"total", outcome->total},
                  {"name", outcome->name},
                  {"outcome", outcomeWord(outcome->fate)},
                  {"output", nameOrNull(outcome->outputName)},
                  {"bytesBefore", outcome->bytesBefore},
                  {"bytesAfter", outcome->bytesAfter},
                  {"problem", outcome->isProblem()},
                  {"reason", reasonOf(*outcome)}};
  out_.write(lineOf(line));
}

void JsonReport::printSummary(const ImageOptimizer::Result& result, int stopSignal) {
  Json stopped;
  if (result.stopped) {
    stopped = {{"filesHandled", result.stopped->filesHandled},
               {"lastFile", nameOrNull(result.stopped->lastFile)},
               {"signal", stopSignal != 0 ? Json(signalName(stopSignal)) : Json()}};
  }
  const Json line{{"type", "summary"},
                  {"images", result.images},
                  {"subfolders", result.subfolders},
                  {"reencoded", result.processed},
                  {"small", result.skippedSmall},
                  {"grew", result.grew},
                  {"unchanged", result.skippedUnchanged},
                  {"failed", result.failed},
                  {"bytesBefore", result.bytesBefore},
                  {"bytesAfter", result.bytesAfter},
                  {"listedForDeletion", result.renamedFiles},
                  {"deletionListFailed", result.deletionListFailed},
                  {"stopped", stopped}};
  out_.write(lineOf(line));
}

void JsonReport::printPlan(const PlannedRun& plan) {
  for (const PlannedFile& file : plan.files) {
    const Json line{{"type", "file"},
                    {"number", file.number},
                    {"total", file.total},
                    {"name", file.name},
                    {"action", actionWord(file.handling)},
                    {"output", nameOrNull(file.outputName)},
                    {"listedForDeletion", file.listedForDeletion},
                    {"bytes", file.bytes}};
    out_.write(lineOf(line));
  }
  const Json summary{{"type", "summary"},
                     {"dryRun", true},
                     {"images", plan.files.size()},
                     {"subfolders", plan.subfolders},
                     {"listedForDeletion", plan.deletionList}};
  out_.write(lineOf(summary));
}
