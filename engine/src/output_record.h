#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "step_error.h"

// What an output file was made from, kept on the file itself as an extended attribute: it travels with
// the file, needs no file of its own in the output folder, and a plain upload (rsync -a) leaves it
// behind. A re-run leaves an output alone only when its record equals what the source and the settings
// are now, so a source replaced by an older, different picture is redone, as is an output edited or
// replaced since (its own size and time are in the record), or one made from another source name.
struct OutputRecord {
  // Everything that shapes the output besides the source: the mode, the quality, the size limit and
  // the version of the encoding settings (recordSettings).
  std::string settings;
  std::string sourceName;
  std::uint64_t sourceSize = 0;
  std::int64_t sourceModified = 0;  // nanoseconds since the epoch
  std::uint64_t outputSize = 0;
  std::int64_t outputModified = 0;

  bool operator==(const OutputRecord&) const = default;

  // "1 changed-only/q80/1920px/e1 <source size> <source time> <output size> <output time> <name>".
  std::string text() const;
  static std::optional<OutputRecord> parse(std::string_view text);
};

// The extended attribute that holds the record.
inline constexpr const char* outputRecordAttribute = "user.tarvolin.made-from";

std::int64_t nanoseconds(const timespec& time);

// The record of an output as it would be made now from a source of this name and status.
OutputRecord recordFor(const std::string& settings, const std::string& sourceName, const struct stat& source,
                       const struct stat& output);

// What the output folder holds under a name, as a re-run judges it.
struct FoundOutput {
  std::optional<struct stat> status;   // a regular file (never followed through a link)
  std::optional<OutputRecord> record;  // its record, when it has one
  bool recordsUnsupported = false;     // the drive keeps no extended attributes
};
FoundOutput findOutput(int folder, const std::string& name);

// Puts the record on the file open as `descriptor`, once its last byte is written. Fails with
// EOPNOTSUPP where the drive keeps no extended attributes.
StepError attachRecord(int descriptor, const std::string& settings, const std::string& sourceName,
                       const struct stat& source);

bool isUnsupported(const StepError& error);
