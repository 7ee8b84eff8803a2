// The limits a machine sets on a process: few descriptors, no more threads. Every file is still handled,
// or the run ends with its one error line; nothing ends the program unasked.
#include <unistd.h>

#include <cstdlib>

#include "cli_fixture.h"
#include "cli_process.h"
#include "test_images.h"

namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& path) {
  std::string text = "'";
  for (const char c : path.string())
    text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

// Runs `command` through sh with its output in `root`; the exit status as the shell reports it.
int shell(const std::string& command, const fs::path& root, std::string& out, std::string& err) {
  const int status = std::system(
      ("(" + command + ") >" + quoted(root / "out.txt") + " 2>" + quoted(root / "err.txt")).c_str());
  out = test_images::readBytes(root / "out.txt");
  err = test_images::readBytes(root / "err.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Files waiting their turn hold no descriptor, and a walk holds two at any depth.
TEST_F(CliTest, ADeepTreeUnderAFewDescriptorsIsHandledWhole) {
  const fs::path source = root_ / "source";
  fs::path deep = source;
  for (int depth = 0; depth < 300; ++depth)
    deep /= "d";
  fs::create_directories(deep);
  test_images::writeSmallGif(deep / "bottom.gif");
  for (int photo = 0; photo < 8; ++photo)
    test_images::writeNoisePng(source / ("p" + std::to_string(photo) + ".png"), 700, 500);
  std::string out;
  std::string err;
  const int status = shell("ulimit -n 24; exec " + quoted(TARVOLIN_CLI) + " -r -j 4 -q " + quoted(source) +
                               " " + quoted(root_ / "out"),
                           root_, out, err);
  EXPECT_EQ(status, 0) << out << err;
  EXPECT_NE(out.find("Done. 8 resized/converted, 0 already small."), std::string::npos) << out;
  EXPECT_TRUE(fs::is_regular_file(root_ / "out" / fs::relative(deep, source) / "bottom.gif"));
}

// A thread that cannot be started is the run's one error, never an end by std::terminate.
TEST_F(CliTest, NoThreadToStartIsTheRunsOneError) {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  test_images::writeSmallGif(source / "a.gif");
  fs::permissions(root_, fs::perms::all);
  const std::string drop = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  // The build folder may lie where the unprivileged user cannot enter.
  fs::copy_file(TARVOLIN_CLI, root_ / "tarvolin-cli");
  std::string out;
  std::string err;
  // LeakSanitizer, in the sanitized build, needs a thread of its own at exit.
  const int status =
      shell(drop + "env ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=1 " + quoted(root_ / "tarvolin-cli") +
                " " + quoted(source) + " " + quoted(root_ / "out"),
            root_, out, err);
  EXPECT_EQ(status, 1) << out << err;
  EXPECT_EQ(err, "Error: Could not watch for stop signals: Resource temporarily unavailable\n");
}
