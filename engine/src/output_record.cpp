#include "output_record.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <sstream>
#include <utility>
#include <vector>

#include "file_descriptor.h"
#include "folder_walk.h"

namespace {

// The first kind of record said neither what the output is nor kept the name short.
constexpr std::string_view firstVersion = "1";
constexpr std::string_view recordVersion = "2";

constexpr std::pair<OutputRecord::Made, std::string_view> madeWords[] = {
    {OutputRecord::Made::jpeg, "jpeg"}, {OutputRecord::Made::kept, "kept"},
    {OutputRecord::Made::copy, "copy"}, {OutputRecord::Made::failed, "failed"},
    {OutputRecord::Made::avif, "avif"},
};
constexpr std::string_view withAvifSuffix = "+avif";

std::string_view wordOf(OutputRecord::Made made) {
  for (const auto& [kind, word] : madeWords) {
    if (kind == made)
      return word;
  }
  return "unknown";
}

std::optional<OutputRecord::Made> madeOf(std::string_view word) {
  for (const auto& [kind, known] : madeWords) {
    if (known == word)
      return kind;
  }
  return std::nullopt;
}

// The next space-separated field of `text`, consumed.
std::string_view nextField(std::string_view& text) {
  const std::size_t space = text.find(' ');
  const std::string_view field = text.substr(0, space);
  text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
  return field;
}

template <typename Number>
bool parseNumber(std::string_view field, Number& number) {
  const auto [end, problem] = std::from_chars(field.data(), field.data() + field.size(), number);
  return problem == std::errc() && end == field.data() + field.size() && !field.empty();
}

}  // namespace

std::int64_t nanoseconds(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

std::string OutputRecord::text() const {
  std::ostringstream text;
  text << recordVersion << ' ' << settings << ' ' << wordOf(made) << (withAvif ? withAvifSuffix : "") << ' '
       << sourceSize << ' ' << sourceModified << ' ' << sourceChanged << ' ' << outputSize << ' '
       << outputModified << ' ' << sourceName;
  return text.str();
}

std::optional<OutputRecord> OutputRecord::parse(std::string_view text) {
  OutputRecord record;
  const std::string_view version = nextField(text);
  if (version != recordVersion && version != firstVersion)
    return std::nullopt;
  record.settings = nextField(text);
  if (version == recordVersion) {
    std::string_view word = nextField(text);
    record.withAvif = word.ends_with(withAvifSuffix);
    if (record.withAvif)
      word.remove_suffix(withAvifSuffix.size());
    const std::optional<OutputRecord::Made> made = madeOf(word);
    if (!made)
      return std::nullopt;
    record.made = *made;
  }
  if (!parseNumber(nextField(text), record.sourceSize) ||
      !parseNumber(nextField(text), record.sourceModified) ||
      (version == recordVersion && !parseNumber(nextField(text), record.sourceChanged)) ||
      !parseNumber(nextField(text), record.outputSize) ||
      !parseNumber(nextField(text), record.outputModified))
    return std::nullopt;
  record.sourceName = text;  // the rest: a name may hold spaces
  if (record.settings.empty() || record.sourceName.empty())
    return std::nullopt;
  return record;
}

OutputRecord recordFor(const std::string& settings, OutputRecord::Made made, const std::string& sourceName,
                       const struct stat& source, const struct stat& output, bool withAvif) {
  return {.settings = settings,
          .made = made,
          .withAvif = withAvif,
          .sourceName = std::string(splitName(sourceName).leaf),
          .sourceSize = static_cast<std::uint64_t>(source.st_size),
          .sourceModified = nanoseconds(source.st_mtim),
          .sourceChanged = nanoseconds(source.st_ctim),
          .outputSize = static_cast<std::uint64_t>(output.st_size),
          .outputModified = nanoseconds(output.st_mtim)};
}

FoundOutput findOutput(int folder, const std::string& name) {
  FoundOutput found;
  // O_NONBLOCK: a FIFO under an output's name must not hang the plan.
  const FileDescriptor file(
      ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status {};
  if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
    return found;
  found.status = status;
  found.record = readRecord(file.get(), found.recordsUnsupported);
  return found;
}

std::optional<OutputRecord> readRecord(int file, bool& unsupported) {
  std::vector<char> text(512);
  for (;;) {
    const ssize_t length = ::fgetxattr(file, outputRecordAttribute, text.data(), text.size());
    if (length >= 0)
      return OutputRecord::parse({text.data(), static_cast<std::size_t>(length)});
    if (errno != ERANGE) {
      unsupported = errno == EOPNOTSUPP || errno == ENOTSUP;
      return std::nullopt;
    }
    // Longer than the buffer (a record of the first kind, with a long relative name): ask its size.
    const ssize_t needed = ::fgetxattr(file, outputRecordAttribute, nullptr, 0);
    if (needed < 0)
      return std::nullopt;
    text.resize(static_cast<std::size_t>(needed) + 1);
  }
}

StepError attachRecord(int descriptor, const std::string& settings, OutputRecord::Made made,
                       const std::string& sourceName, const struct stat& source, bool withAvif) {
  struct stat output {};
  if (::fstat(descriptor, &output) != 0)
    return StepError::ofErrno();
  const std::string text = recordFor(settings, made, sourceName, source, output, withAvif).text();
  if (::fsetxattr(descriptor, outputRecordAttribute, text.data(), text.size(), 0) != 0)
    return StepError::ofErrno();
  return {};
}

bool isUnsupported(const StepError& error) {
  return error.code() == std::errc::operation_not_supported;
}
