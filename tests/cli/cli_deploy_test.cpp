// The two deploy recipes of the README, taken from it as they stand and run end to end under `set -eu`
// against a local folder that stands in for the server. `ssh` on the PATH runs the remote command with
// `sh -c`, as sshd does, so the recipes' quoting is what a real server meets; rsync reaches the server
// through it too. Names hold spaces, a leading dash, quotes, UTF-8 and bytes that are not UTF-8.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli_fixture.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

const std::string invalidUtf8 = "caf\xE9";  // Latin-1, as an old archive may hold it

// The sh block of the README that follows `heading`.
std::string recipeAfter(const std::string& heading) {
  std::ifstream file(TARVOLIN_README);
  const std::string readme((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t at = readme.find(heading);
  const std::size_t start = readme.find("```sh\n", at);
  const std::size_t end = readme.find("```", start + 6);
  if (at == std::string::npos || start == std::string::npos || end == std::string::npos)
    throw std::runtime_error("no recipe after " + heading + " in the README");
  return readme.substr(start + 6, end - start - 6);
}

std::string quoted(const fs::path& path) {
  std::string text = "'";
  for (const char c : path.string())
    text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

std::map<std::string, std::string> fingerprints(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), folder).string()] = fingerprint(entry.path());
  }
  return files;
}

}  // namespace

class DeployTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    images_ = root_ / "site images";
    optimized_ = root_ / "optimized";
    server_ = root_ / "server";
    fs::create_directories(images_ / "blog 2024");
    fs::create_directories(server_);
    // The stand-ins on the PATH: the program under test, and ssh.
    fs::create_directories(root_ / "bin");
    fs::create_symlink(TARVOLIN_CLI, root_ / "bin" / "tarvolin-cli");
    std::ofstream(root_ / "bin" / "ssh") << R"(#!/bin/sh
# The remote command, as sshd runs it: the words joined by spaces, run by the user's shell with -c.
while [ $# -gt 0 ]; do
  case $1 in -l|-p|-o|-i) shift 2 ;; -*) shift ;; *) break ;; esac
done
shift  # the host
exec sh -c "$*"
)";
    fs::permissions(root_ / "bin" / "ssh", fs::perms::owner_all);
  }

  // Runs the recipe with the README's folders replaced by this test's.
  void deploy(const std::string& heading) {
    std::string recipe = recipeAfter(heading);
    const std::size_t assignment = recipe.find("\nimages=");
    ASSERT_NE(assignment, std::string::npos) << recipe;
    const std::size_t lineEnd = recipe.find('\n', assignment + 1);
    recipe.replace(assignment + 1, lineEnd - assignment - 1,
                   "images=" + quoted(images_) + " optimized=" + quoted(optimized_) +
                       " server=www@example.org dir=" + quoted(server_));
    fs::remove(root_ / "recipe.sh");
    std::ofstream(root_ / "recipe.sh") << recipe;
    const std::string command =
        "PATH=" + quoted(root_ / "bin") + ":\"$PATH\" sh " + quoted(root_ / "recipe.sh");
    ASSERT_EQ(std::system(command.c_str()), 0) << recipe;
  }

  // What a run into an empty folder makes of the source as it is now.
  std::map<std::string, std::string> cleanRun(const std::string& mode) {
    fs::remove_all(root_ / "clean");
    const std::string command = quoted(TARVOLIN_CLI) + " --quiet --recursive --mode " + mode + " -- " +
                                quoted(images_) + " " + quoted(root_ / "clean") + " >/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3)) << status;
    return fingerprints(root_ / "clean");
  }

  fs::path images_;
  fs::path optimized_;
  fs::path server_;
};

// After each deploy, and edits between them, the server's folder holds exactly what a run into an empty
// folder makes: nothing stale, nothing missing, subfolders included.
TEST_F(DeployTest, TheWholeFolderRecipeLeavesTheServerAsACleanRun) {
  for (const std::string& name :
       std::vector<std::string>{"a b.png", "-rf.png", "it's \"quoted\".png", "\u00C5ngstr\u00F6m.png",
                                "blog 2024/-x.png", "logo.png", invalidUtf8 + ".png"})
    writeNoisePng(images_ / name, 700, 500);
  writeNoiseJpeg(images_ / "blog 2024" / "Big.JPEG", 1000, 800);
  writeSmallJpeg(images_ / "small.jpg");
  writeSmallGif(images_ / "anim.gif");
  deploy("**A whole images folder.**");
  EXPECT_EQ(fingerprints(server_), cleanRun("full-replacement"));

  fs::remove(images_ / "-rf.png");
  fs::rename(images_ / "a b.png", images_ / "blog 2024" / "a b.png");
  writeNoiseJpeg(images_ / "logo.jpg", 1000, 800);  // logo.png must keep its own name now
  fs::remove(images_ / "small.jpg");
  deploy("**A whole images folder.**");
  EXPECT_EQ(fingerprints(server_), cleanRun("full-replacement"));

  fs::remove(images_ / "logo.jpg");  // and take logo.jpg again
  deploy("**A whole images folder.**");
  EXPECT_EQ(fingerprints(server_), cleanRun("full-replacement"));
}

// The server starts as the live site, the source itself. Converted PNG files leave it; a PNG that a
// later deploy keeps as a PNG is uploaded and stays, although an earlier list named it.
TEST_F(DeployTest, TheChangedFilesRecipeDeletesOnlyWhatIsReplaced) {
  const std::vector<std::string> converted = {"a b.png", "-rf.png", "it's \"quoted\".png",
                                              "\u00C5ngstr\u00F6m.png", "blog 2024/-x.png"};
  for (const std::string& name : converted)
    writeNoisePng(images_ / name, 700, 500);
  writeNoisePng(images_ / "hero.png", 700, 500);
  writeNoiseJpeg(images_ / "Big.jpg", 1000, 800);
  writeSmallJpeg(images_ / "small.jpg");
  writeSmallGif(images_ / "anim.gif");
  fs::copy(images_, server_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  for (int deploys = 0; deploys < 2; ++deploys)
    deploy("**Changed files only.**");
  std::map<std::string, std::string> expected = fingerprints(images_);
  for (const std::string& name : converted)
    expected.erase(name);
  expected.erase("hero.png");
  for (const auto& [name, print] : fingerprints(optimized_)) {
    if (name != "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt")
      expected[name] = print;
  }
  EXPECT_EQ(fingerprints(server_), expected);

  // A hero.jpg of its own, and no other PNG: hero.png keeps its name, this run lists nothing, and the
  // list of the deploy before, which named hero.png, must not delete it from the server.
  for (const std::string& name : converted)
    fs::remove(images_ / name);
  writeNoiseJpeg(images_ / "hero.jpg", 1000, 800);
  deploy("**Changed files only.**");
  EXPECT_FALSE(fs::exists(optimized_ / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt"));
  EXPECT_EQ(fingerprint(server_ / "hero.png"), fingerprint(images_ / "hero.png"));
  EXPECT_EQ(fingerprint(server_ / "hero.jpg"), fingerprint(optimized_ / "hero.jpg"));
}
