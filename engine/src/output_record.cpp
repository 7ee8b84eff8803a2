#include "output_record.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <sstream>

#include "file_descriptor.h"

namespace {

constexpr std::string_view recordVersion = "1";

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
  text << recordVersion << ' ' << settings << ' ' << sourceSize << ' ' << sourceModified << ' ' << outputSize
       << ' ' << outputModified << ' ' << sourceName;
  return text.str();
}

std::optional<OutputRecord> OutputRecord::parse(std::string_view text) {
  OutputRecord record;
  if (nextField(text) != recordVersion)
    return std::nullopt;
  record.settings = nextField(text);
  if (!parseNumber(nextField(text), record.sourceSize) ||
      !parseNumber(nextField(text), record.sourceModified) ||
      !parseNumber(nextField(text), record.outputSize) ||
      !parseNumber(nextField(text), record.outputModified))
    return std::nullopt;
  record.sourceName = text;  // the rest: a name may hold spaces
  if (record.settings.empty() || record.sourceName.empty())
    return std::nullopt;
  return record;
}

OutputRecord recordFor(const std::string& settings, const std::string& sourceName, const struct stat& source,
                       const struct stat& output) {
  return {.settings = settings,
          .sourceName = sourceName,
          .sourceSize = static_cast<std::uint64_t>(source.st_size),
          .sourceModified = nanoseconds(source.st_mtim),
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
  char text[1024];
  const ssize_t length = ::fgetxattr(file.get(), outputRecordAttribute, text, sizeof text);
  if (length < 0) {
    found.recordsUnsupported = errno == EOPNOTSUPP || errno == ENOTSUP;
    return found;
  }
  found.record = OutputRecord::parse({text, static_cast<std::size_t>(length)});
  return found;
}

StepError attachRecord(int descriptor, const std::string& settings, const std::string& sourceName,
                       const struct stat& source) {
  struct stat output {};
  if (::fstat(descriptor, &output) != 0)
    return StepError::ofErrno();
  const std::string text = recordFor(settings, sourceName, source, output).text();
  if (::fsetxattr(descriptor, outputRecordAttribute, text.data(), text.size(), 0) != 0)
    return StepError::ofErrno();
  return {};
}

bool isUnsupported(const StepError& error) {
  return error.code() == std::errc::operation_not_supported;
}
