#include "json_report.h"

#include <glib.h>

#include <memory>
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
    case FileFate::notWritten:
      return "not-written";
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
    case FileHandling::unchanged:
      return "unchanged";
    case FileHandling::notWritten:
      return "not-written";
  }
  return "small";
}

const char* kindWord(EntryKind kind) {
  switch (kind) {
    case EntryKind::folder:
      return "folder";
    case EntryKind::fifo:
      return "fifo";
    case EntryKind::socket:
      return "socket";
    case EntryKind::device:
      return "device";
    case EntryKind::brokenLink:
      return "broken-link";
  }
  return "other";
}

// A name under `key`, or null when empty. Names are bytes: one that is not UTF-8 reads with U+FFFD in
// `key`, and its exact bytes are under key + "Bytes", in base64, for a script that must find the file.
void putName(Json& object, const std::string& key, const std::string& name) {
  object[key] = name.empty() ? Json() : Json(name);
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
    const std::unique_ptr<gchar, decltype(&g_free)> bytes(
        g_base64_encode(reinterpret_cast<const guchar*>(name.data()), name.size()), g_free);
    object[key + "Bytes"] = bytes.get();
  }
}

// The names of folders not read, or of JPEGs renamed: whatever carries a `name`.
template <typename Named>
Json namesOf(const std::vector<Named>& items) {
  Json names = Json::array();
  for (const Named& item : items)
    names.push_back(item.name);
  return names;
}

Json leftOutOf(const std::map<EntryKind, std::int64_t>& leftOut) {
  Json kinds = Json::object();
  for (const auto& [kind, count] : leftOut)
    kinds[kindWord(kind)] = count;
  return kinds;
}

const char* causeWord(RemovalCause cause) {
  switch (cause) {
    case RemovalCause::sourceGone:
      return "source-gone";
    case RemovalCause::writtenElsewhere:
      return "written-elsewhere";
    case RemovalCause::notWritten:
      return "not-written";
    case RemovalCause::avifNotMade:
      return "avif-not-made";
  }
  return "source-gone";
}

Json removalOf(const OutputRemoved& removal) {
  Json line{{"type", "removal"}};
  putName(line, "name", removal.name);
  putName(line, "source", removal.sourceName);
  line["cause"] = causeWord(removal.cause);
  putName(line, "nowWrittenAs", removal.nowWrittenAs);
  line["problem"] = !removal.failure.empty();
  line["reason"] = removal.failure.empty() ? Json() : Json(removal.failure);
  return line;
}

// ASCII only: every other character as \uXXXX, so that no reader splits a line at U+2028.
std::string lineOf(const Json& object) {
  return object.dump(-1, ' ', true, Json::error_handler_t::replace) + "\n";
}

}  // namespace

void JsonReport::print(const RunEvent& event) {
  if (const auto* removal = std::get_if<OutputRemoved>(&event))
    return out_.write(lineOf(removalOf(*removal)));
  const auto* outcome = std::get_if<FileOutcome>(&event);
  if (!outcome)
    return;  // an unwritten deletion list is in the summary
  Json line{{"type", "file"}, {"number", outcome->number}, {"total", outcome->total}};
  putName(line, "name", outcome->name);
  line["outcome"] = outcomeWord(outcome->fate);
  putName(line, "output", outcome->outputName);
  line["bytesBefore"] = outcome->bytesBefore;
  line["bytesAfter"] = outcome->bytesAfter;
  line["problem"] = outcome->isProblem();
  const std::optional<std::string> reason = run_log::reasonOf(*outcome);
  line["reason"] = reason ? Json(*reason) : Json();
  Json removed = Json::array();
  for (const std::string& name : outcome->removedOlder)
    removed.push_back(name);
  line["removed"] = removed;
  if (avif_) {
    putName(line, "avif", outcome->avifName);
    line["avifBytes"] = outcome->avifName.empty() ? Json() : Json(outcome->avifBytes);
  }
  out_.write(lineOf(line));
}

void JsonReport::printSummary(const ImageOptimizer::Result& result, int stopSignal) {
  Json stopped;
  if (result.stopped) {
    stopped = {{"filesHandled", result.stopped->filesHandled}};
    putName(stopped, "lastFile", result.stopped->lastFile);
    stopped["signal"] = stopSignal != 0 ? Json(signalName(stopSignal)) : Json();
  }
  const Json line{{"type", "summary"},
                  {"images", result.images},
                  {"subfolders", result.subfolders},
                  {"reencoded", result.processed},
                  {"small", result.skippedSmall},
                  {"grew", result.grew},
                  {"unchanged", result.skippedUnchanged},
                  {"copied", result.copied},
                  {"keptAnimations", result.keptAnimations},
                  {"failed", result.failed},
                  {"removed", result.removed},
                  {"removalsFailed", result.removalsFailed},
                  {"bytesBefore", result.bytesBefore},
                  {"bytesAfter", result.bytesAfter},
                  {"listedForDeletion", result.renamedFiles},
                  {"deletionListFailed", result.deletionListFailed},
                  {"deletionListRemoved", result.deletionListRemoved},
                  {"renamedJpegs", namesOf(result.renamedJpegs)},
                  {"leftOut", leftOutOf(result.leftOut)},
                  {"recordsUnavailable", result.recordsUnavailable},
                  {"recordsNotKept", result.recordsNotKept},
                  {"foldersNotRead", namesOf(result.foldersNotRead)},
                  {"stopped", stopped}};
  out_.write(lineOf(line));
}

void JsonReport::printPlan(const PlannedRun& plan) {
  for (const PlannedFile& file : plan.files) {
    Json line{{"type", "file"}, {"number", file.number}, {"total", file.total}};
    putName(line, "name", file.name);
    line["action"] = actionWord(file.handling);
    putName(line, "output", file.outputName);
    line["listedForDeletion"] = file.listedForDeletion;
    if (avif_)
      putName(line, "avif", file.avifName);
    line["bytes"] = file.bytes;
    out_.write(lineOf(line));
  }
  for (const OutputRemoved& removal : plan.removals)
    out_.write(lineOf(removalOf(removal)));
  const Json summary{{"type", "summary"},
                     {"dryRun", true},
                     {"images", plan.files.size()},
                     {"subfolders", plan.subfolders},
                     {"listedForDeletion", plan.deletionList},
                     {"removesDeletionList", plan.removesDeletionList},
                     {"leftOut", leftOutOf(plan.leftOut)},
                     {"recordsUnavailable", plan.recordsUnavailable}};
  out_.write(lineOf(summary));
}
