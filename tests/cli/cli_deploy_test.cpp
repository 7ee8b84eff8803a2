// The deploy recipe of the README and the manual page, run twice under `set -e` on a local folder that
// stands in for the server (a plain rm loop in place of ssh). It must end holding exactly the optimized
// images: no PNG that became a JPEG, no deletion list, and nothing else deleted, whatever the names.
#include <cstdlib>

#include "cli_fixture.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

// The recipe, with "$server" a local folder: rsync to it, and the names read there instead of over ssh.
constexpr const char* recipe = R"(set -eu
list=_DELETE_THESE_OLD_FILES_FROM_SERVER.txt
"$cli" --quiet --recursive --skip-unchanged -- "$images" "$optimized" || [ $? -eq 3 ]
rsync -a --exclude="/$list" -- "$optimized/" "$server/"
if [ -f "$optimized/$list" ]; then
  (cd "$server" && while IFS= read -r name; do rm -f -- "$name"; done) < "$optimized/$list"
fi
)";

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

TEST_F(CliTest, TheDeployRecipeIsIdempotentAndSafeForAnyName) {
  const fs::path images = root_ / "images";
  const fs::path optimized = root_ / "optimized";
  const fs::path server = root_ / "server";
  fs::create_directories(images);
  fs::create_directories(images / "blog 2024");
  for (const char* name : {"a b.png", "-rf.png", "it's \"quoted\".png", "\u00C5ngstr\u00F6m.png", "blog 2024/-x.png"})
    writeNoisePng(images / name, 700, 500);
  writeNoiseJpeg(images / "Big.jpg", 1000, 800);
  writeSmallJpeg(images / "small.jpg");
  writeSmallGif(images / "anim.gif");
  fs::copy(images, server, fs::copy_options::recursive);  // what the live site holds before the first deploy

  const std::string script = "cli=" + quoted(TARVOLIN_CLI) + " images=" + quoted(images) +
                             " optimized=" + quoted(optimized) + " server=" + quoted(server) + " bash -c " +
                             quoted(recipe);
  for (int deploy = 1; deploy <= 2; ++deploy)
    ASSERT_EQ(std::system(script.c_str()), 0) << "deploy " << deploy;

  std::map<std::string, std::string> expected = fingerprints(images);
  for (const char* converted :
       {"a b.png", "-rf.png", "it's \"quoted\".png", "\u00C5ngstr\u00F6m.png", "blog 2024/-x.png"})
    expected.erase(converted);
  for (const auto& [name, print] : fingerprints(optimized)) {
    if (name != "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt")
      expected[name] = print;
  }
  EXPECT_EQ(fingerprints(server), expected);
}
