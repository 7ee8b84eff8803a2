// Folders and files the user may not read or write. The engine runs in a child process without root's
// privileges (as "nobody" when the tests run as root, as in CI), so that permissions really apply.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "run_fixture.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

struct ChildRun {
  int exitStatus = -1;
  Names lines;  // standard output
  std::string error;
};

std::string quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

}  // namespace

class Permissions : public RunFixture {
 protected:
  // `limits`: a command that runs the driver under a limit of its own ("prlimit --nproc=1 ").
  ChildRun runUnprivileged(const std::string& mode, const std::string& limits = "") {
    const std::string drop =
        (::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "") + limits;
    const fs::path errors = root / "stderr.txt";
    // A copy next to the folders: the build folder may lie where the unprivileged user cannot enter.
    const fs::path program = root / "tarvolin_engine_driver";
    fs::copy_file(TARVOLIN_ENGINE_DRIVER, program, fs::copy_options::overwrite_existing);
    const std::string command = drop + quoted(program) + " " + quoted(source) + " " + quoted(output) + " " +
                                mode + " 2>" + quoted(errors);
    ChildRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
      return run;
    char buffer[4096];
    std::string text;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
      text += buffer;
    const int status = ::pclose(pipe);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
      run.lines.push_back(line);
    run.error = readBytes(errors);
    return run;
  }

  static void allow(const fs::path& path, fs::perms permissions) { fs::permissions(path, permissions); }
};

TEST_F(Permissions, ReadOnlyOutputFolderIsOneClearError) {
  writeNoisePng(source / "logo.png", 700, 500);
  writeSmallGif(source / "anim.gif");
  fs::create_directories(output);
  allow(output, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);

  const ChildRun run = runUnprivileged("changedOnly");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(run.lines.empty());
  EXPECT_EQ(run.error, "Error: Permission denied: " + output.string() + "\n");
  EXPECT_TRUE(namesIn(output).empty());
}

TEST_F(Permissions, OutputFolderInAReadOnlyFolderCannotBeCreated) {
  writeSmallGif(source / "anim.gif");
  fs::create_directories(root / "locked");
  allow(root / "locked",
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
  output = root / "locked" / "site" / "out";

  const ChildRun run = runUnprivileged("fullReplacement");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.error, "Error: Permission denied: " + output.string() + "\n");
  EXPECT_FALSE(fs::exists(root / "locked" / "site"));
}

TEST_F(Permissions, UnreadableSourceFileIsNamedAndTheRestIsDone) {
  writeNoisePng(source / "private.png", 700, 500);
  writeNoisePng(source / "public.png", 700, 500);
  writeSmallGif(source / "secret.gif");
  allow(source / "private.png", fs::perms::none);
  allow(source / "secret.gif", fs::perms::none);
  fs::create_directories(output);
  allow(output, fs::perms::all);
  const auto before = contentsOf(source);

  const ChildRun run = runUnprivileged("changedOnly");
  EXPECT_EQ(run.exitStatus, 0) << run.error;
  EXPECT_EQ(run.lines,
            (Names{"[1/3] private.png", "  could not re-encode: the file cannot be read (Permission denied)",
                   "  could not copy: Permission denied", "[2/3] public.png", "[3/3] secret.gif",
                   "  could not copy: Permission denied", "", "Done. 1 resized/converted, 0 already small.",
                   "2 file(s) could not be optimized -- see the messages above.", "",
                   "1 file(s) changed format and won't be overwritten on the server.",
                   "See " + deletionList + " in the output folder for the list."}));
  EXPECT_EQ(namesIn(output), (Names{"_DELETE_THESE_OLD_FILES_FROM_SERVER.txt", "public.jpg"}));
  EXPECT_EQ(contentsOf(source), before);
  expectNoTemporaryFiles();
}

// A folder that can be listed but not entered (r--) names entries it cannot show: it is a folder not
// read, never a folder of broken links; the source folder itself so ends the run.
TEST_F(Permissions, AFolderListedButNotEnteredIsNotRead) {
  writeSmallGif(source / "top.gif");
  fs::create_directories(source / "locked");
  writeSmallGif(source / "locked" / "inside.gif");
  const fs::perms listOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  allow(source / "locked", listOnly);
  fs::create_directories(output);
  allow(output, fs::perms::all);

  const ChildRun run = runUnprivileged("changedOnly recursive");
  EXPECT_EQ(run.exitStatus, 0) << run.error;
  EXPECT_EQ(run.lines,
            (Names{"Could not read the folder locked: Permission denied", "[1/1] top.gif", "",
                   "Done. 0 resized/converted, 0 already small.", "1 GIF file(s) copied unchanged.",
                   "1 subfolder(s) could not be read -- see the messages above."}));

  allow(source / "locked", fs::perms::all);
  allow(source, listOnly);
  const ChildRun whole = runUnprivileged("changedOnly recursive");
  allow(source, fs::perms::all);
  EXPECT_EQ(whole.exitStatus, 1);
  EXPECT_EQ(whole.error, "Error: Permission denied: " + source.string() + "\n");
}

// No thread can be started for the work: the run's one error, never an end by std::terminate.
TEST_F(Permissions, NoThreadForTheWorkIsTheRunsOneError) {
  writeSmallGif(source / "a.gif");
  fs::create_directories(output);
  allow(output, fs::perms::all);
  // LeakSanitizer, in the sanitized build, needs a thread of its own at exit.
  const ChildRun run = runUnprivileged("changedOnly", "env ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=1 ");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.error, "Error: Could not start a thread for the work: Resource temporarily unavailable\n");
}
