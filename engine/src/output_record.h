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
// are now and says the output is what this run's plan makes under that name, so a source replaced by an
// older, different picture is redone, as is an output edited or replaced since (its own size and time
// are in the record), one made from another source, or a re-encode found where the original belongs. A
// file that carries a record was made by a run; a re-run may remove it once no source makes it any more.
struct OutputRecord {
  // What the output is of its source.
  enum class Made {
    unknown,  // a record of the first kind, which did not say: it matches no plan, and is redone
    jpeg,     // the re-encoded JPEG
    kept,     // the original, kept because its re-encode came out larger or it is animated
    copy,     // the original, copied as the plan said (a GIF, a small image, a name that was taken)
    // The original, copied because its re-encode failed: it matches no plan, so that each run tries the
    // image again and reports its problem until it is gone, yet it is known as the program's own.
    failed,
    avif,  // the AVIF beside a JPEG, NAME.jpg.avif
  };

  // Everything that shapes the output besides the source: the mode, the quality, the size limit and
  // the version of the encoding settings (recordSettings).
  std::string settings;
  Made made = Made::unknown;
  // A JPEG's: its AVIF stands beside it, with a record of its own ("jpeg+avif"). Without it, none was
  // kept (it came out larger, or could not be made).
  bool withAvif = false;
  // The source's name in its folder, which is the output's folder too ("team.png" for
  // "blog/2024/team.jpg"), so that a record stays short however deep the tree. Records of the first kind
  // hold the name relative to the source folder.
  std::string sourceName;
  std::uint64_t sourceSize = 0;
  std::int64_t sourceModified = 0;  // nanoseconds since the epoch
  // When the source's bytes or status last changed, which no program can set: a picture replaced by
  // another of the same size and modification time (cp -p, touch -r) is still told apart. Records of
  // the first kind did not keep it.
  std::int64_t sourceChanged = 0;
  std::uint64_t outputSize = 0;
  std::int64_t outputModified = 0;

  bool operator==(const OutputRecord&) const = default;

  // "2 changed-only/q80/1920px/e1 jpeg <source size> <source time> <source change time> <output size>
  // <output time> <name>".
  std::string text() const;
  static std::optional<OutputRecord> parse(std::string_view text);
};

// The extended attribute that holds the record.
inline constexpr const char* outputRecordAttribute = "user.tarvolin.made-from";

std::int64_t nanoseconds(const timespec& time);

// The record of an output as it would be made now from a source of this name (relative to the source
// folder) and status.
OutputRecord recordFor(const std::string& settings, OutputRecord::Made made, const std::string& sourceName,
                       const struct stat& source, const struct stat& output, bool withAvif = false);

// What the output folder holds under a name, as a re-run judges it.
struct FoundOutput {
  std::optional<struct stat> status;   // a regular file (never followed through a link)
  std::optional<OutputRecord> record;  // its record, when it has one
  bool recordsUnsupported = false;     // the drive keeps no extended attributes
};
FoundOutput findOutput(int folder, const std::string& name);
// The record on an open file, whatever its length.
std::optional<OutputRecord> readRecord(int file, bool& unsupported);

// Puts the record on the file open as `descriptor`, once its last byte is written. Fails with
// EOPNOTSUPP where the drive keeps no extended attributes.
StepError attachRecord(int descriptor, const std::string& settings, OutputRecord::Made made,
                       const std::string& sourceName, const struct stat& source, bool withAvif = false);

bool isUnsupported(const StepError& error);
