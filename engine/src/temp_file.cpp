#include "temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>
#include <string_view>
#include <vector>

#include "folder_walk.h"

namespace {

constexpr std::string_view namePrefix = ".tarvolin-";
constexpr std::string_view nameSuffix = ".tmp";

std::string hostLabel() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0)
    return "host";
  std::string label;
  for (const char c : std::string_view(host)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    label += plain ? c : '_';
    if (label.size() == 32)
      break;
  }
  return label.empty() ? "host" : label;
}

// When the process started, in clock ticks since boot: with the process id it names one process for
// good, even after the id is reused. 0 where /proc cannot tell.
unsigned long long processStart(pid_t process) {
  std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto afterName = text.rfind(')');  // the command name may hold spaces and parentheses
  if (afterName == std::string::npos)
    return 0;
  // `at` is the space before field number `field`; the start time is field 22.
  std::size_t field = 3;
  std::size_t at = afterName + 1;
  while (field < 22 && at < text.size()) {
    at = text.find(' ', at + 1);
    if (at == std::string::npos)
      return 0;
    ++field;
  }
  return std::strtoull(text.c_str() + at + 1, nullptr, 10);
}

const std::string& hostName() {
  static const std::string host = hostLabel();
  return host;
}

// host-pid-start: who writes a temporary file.
const std::string& ownerLabel() {
  static const std::string owner = [] {
    const pid_t self = ::getpid();
    return hostName() + "-" + std::to_string(self) + "-" + std::to_string(processStart(self));
  }();
  return owner;
}

}  // namespace

std::string TempFile::freshName() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  char random[17];
  std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(generator()));
  return std::string(namePrefix) + ownerLabel() + "-" + random + std::string(nameSuffix);
}

namespace {

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, start)) {
    parts.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

// Only a file of this machine whose writer is gone for certain; anything in doubt stays.
bool ownerHasEnded(const std::string& name) {
  const std::string_view inner =
      std::string_view(name).substr(namePrefix.size(), name.size() - namePrefix.size() - nameSuffix.size());
  const std::vector<std::string> parts = split(inner, '-');
  if (parts.size() != 4 || parts[0] != hostName())
    return false;
  char* end = nullptr;
  const long process = std::strtol(parts[1].c_str(), &end, 10);
  if (*end != '\0' || process <= 0)
    return false;
  const unsigned long long start = std::strtoull(parts[2].c_str(), &end, 10);
  if (*end != '\0')
    return false;
  if (::kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH)
    return true;
  // The id is in use: by the writer itself, or by a later process that reused it.
  const unsigned long long current = processStart(static_cast<pid_t>(process));
  return start != 0 && current != 0 && current != start;
}

}  // namespace

TempFile TempFile::create(int folder, StepError& error) {
  TempFile file;
  file.folder_ = folder;
  file.descriptor_ = FileDescriptor(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (file.valid()) {
    error = {};
    return file;
  }
  // File systems without unnamed files (FAT, exFAT, many network shares) get a named one.
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)
    return createNamed(folder, error);
  error = StepError::ofErrno();
  return file;
}

TempFile TempFile::createIn(FolderRef folder, int root, std::string relative, StepError& error) {
  TempFile file = create(folder.get(), error);
  if (file.valid()) {
    file.root_ = root;
    file.relative_ = std::move(relative);
    // The folder's descriptor is this file's own from here on; a borrowed root stays borrowed.
    if (folder.get() != root) {
      file.ownedFolder_ = FileDescriptor(::dup(folder.get()));
      file.folder_ = file.ownedFolder_.get();
      if (!file.ownedFolder_.valid()) {
        error = StepError::ofErrno();
        return {};
      }
    }
  }
  return file;
}

TempFile TempFile::createNamed(int folder, StepError& error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    TempFile file = createNamed(folder, freshName(), error);
    if (file.valid() || error.code() != std::errc::file_exists)
      return file;
  }
  return {};
}

TempFile TempFile::createNamed(int folder, const std::string& name, StepError& error) {
  TempFile file;
  file.folder_ = folder;
  // O_EXCL | O_NOFOLLOW: never reuse or follow anything already there. Mode 0666 lets the umask decide,
  // as for any file the user's programs create.
  file.descriptor_ = FileDescriptor(
      ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!file.valid()) {
    error = StepError::ofErrno();
    return file;
  }
  file.name_ = name;
  error = {};
  return file;
}

TempFile::~TempFile() {
  discard();
}

TempFile::TempFile(TempFile&& other) noexcept {
  *this = std::move(other);
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    discard();
    folder_ = other.folder_;
    ownedFolder_ = std::move(other.ownedFolder_);
    root_ = other.root_;
    relative_ = std::move(other.relative_);
    descriptor_ = std::move(other.descriptor_);
    name_ = std::move(other.name_);
    placed_ = other.placed_;
    parked_ = other.parked_;
    other.name_.clear();
    other.parked_ = false;
  }
  return *this;
}

FolderRef TempFile::folder() const {
  if (ownedFolder_.valid() || root_ < 0 || relative_.empty())
    return FolderRef::borrowed(folder_);
  StepError error;
  return openFolderIn(root_, relative_, WhenMissing::fail, error);
}

void TempFile::discard() {
  if (!placed_ && !name_.empty()) {
    const FolderRef folder = this->folder();
    ::unlinkat(folder.get(), name_.c_str(), 0);
  }
  name_.clear();
  descriptor_.reset();
  ownedFolder_.reset();
  parked_ = false;
}

std::uint64_t TempFile::size() const {
  struct stat status {};
  if (::fstat(descriptor(), &status) != 0)
    return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

// An unnamed file gets a name through its descriptor; the final rename then replaces the old entry in one
// step, which linking cannot do.
StepError TempFile::giveName() {
  const std::string self = "/proc/self/fd/" + std::to_string(descriptor());
  for (int attempt = 0; attempt < 100 && name_.empty(); ++attempt) {
    std::string name = freshName();
    if (::linkat(AT_FDCWD, self.c_str(), folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
        (errno == ENOENT && ::linkat(descriptor(), "", folder_, name.c_str(), AT_EMPTY_PATH) == 0)) {
      name_ = std::move(name);
    } else if (errno != EEXIST) {
      return StepError::ofErrno();
    }
  }
  return name_.empty() ? StepError::ofErrno(EEXIST) : StepError();
}

StepError TempFile::park() {
  if (parked_)
    return {};
  // Closing a second descriptor makes network and FUSE file systems report a write that failed late,
  // before the file takes a real name.
  if (::close(::dup(descriptor())) != 0 && errno != EINTR)
    return StepError::ofErrno();
  if (name_.empty()) {
    if (const StepError error = giveName())
      return error;
  }
  descriptor_.reset();
  ownedFolder_.reset();
  parked_ = true;
  return {};
}

StepError TempFile::placeAs(int folder, const std::string& finalName) {
  if (const StepError error = park())
    return error;
  const FolderRef from = this->folder();
  if (!from.valid())
    return StepError::ofErrno();
  if (::renameat(from.get(), name_.c_str(), folder, finalName.c_str()) != 0)
    return StepError::ofErrno();
  placed_ = true;
  name_.clear();
  return {};
}

bool TempFile::isTemporaryName(const std::string& name) {
  return name.starts_with(namePrefix) && name.ends_with(nameSuffix) &&
         name.size() > namePrefix.size() + nameSuffix.size();
}

void TempFile::removeLeftovers(int folder) {
  std::vector<std::string> names;
  if (namesIn(folder, names))
    return;
  std::vector<std::string> leftovers;
  for (const std::string& name : names) {
    if (isTemporaryName(name) && ownerHasEnded(name))
      leftovers.push_back(name);
  }
  for (const std::string& name : leftovers) {
    struct stat status {};
    // Only files: a folder of that name is not ours.
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
      ::unlinkat(folder, name.c_str(), 0);
  }
}
