// --json: every line of standard output is a JSON object, one per file and then the summary, whose
// counts and sizes are those of the file lines and of the output folder; the log goes to standard error.
#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "cli_process.h"
#include "test_images.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;

TEST_F(CliTest, JsonLinesParseAndTheSummaryAddsUpTheFiles) {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  test_images::writeLargePng(source / "a.png");
  test_images::writeSmallJpeg(source / "b\nc.jpg");  // a name that a log shows escaped
  test_images::writeBrokenImage(source / "d.jpg", 600000);
  test_images::writeJpegThatGrows(source / "e.jpg");
  test_images::writeSmallGif(source / "f.gif");
  test_images::writeLargePng(source / "k.png");
  test_images::writeSmallJpeg(source / "k.jpg");  // k.png cannot take k.jpg
  const CliProcess::Ending ending = CliProcess::run({"--json", source, root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 3) << ending.err;
  EXPECT_NE(ending.err.find("[1/7] a.png\n"), std::string::npos) << ending.err;

  std::vector<Json> files;
  Json summary;
  for (const std::string& line : linesOf(ending.out)) {
    ASSERT_TRUE(Json::accept(line)) << line;
    Json object = Json::parse(line);
    ASSERT_TRUE(summary.is_null()) << "a line after the summary: " << line;
    (object["type"] == "file" ? files.emplace_back() : summary) = std::move(object);
  }
  ASSERT_EQ(files.size(), 7u) << ending.out;
  ASSERT_EQ(summary["type"], "summary") << ending.out;

  std::map<std::string, std::string> outcomes;
  std::map<std::string, std::int64_t> counts;
  std::uint64_t before = 0;
  std::uint64_t after = 0;
  for (const Json& file : files) {
    outcomes[file["name"]] = file["outcome"];
    ++counts[file["outcome"]];
    counts["problems"] += file["problem"].get<bool>() ? 1 : 0;
    before += file["bytesBefore"].get<std::uint64_t>();
    after += file["bytesAfter"].get<std::uint64_t>();
    if (file["output"].is_string()) {
      EXPECT_EQ(fs::file_size(root_ / "out" / file["output"].get<std::string>()), file["bytesAfter"]) << file;
    }
  }
  EXPECT_EQ(outcomes, (std::map<std::string, std::string>{{"a.png", "reencoded"},
                                                          {"b\nc.jpg", "small"},
                                                          {"d.jpg", "failed"},
                                                          {"e.jpg", "grew"},
                                                          {"f.gif", "copied"},
                                                          {"k.jpg", "small"},
                                                          {"k.png", "kept-own-name"}}));
  EXPECT_EQ(files[0]["output"], "a.jpg");
  EXPECT_TRUE(files[1]["output"].is_null()) << files[1];  // left out in changed-only mode
  EXPECT_TRUE(files[6]["reason"].get<std::string>().starts_with("kept its own name: ")) << files[6];
  EXPECT_EQ(summary["reencoded"], counts["reencoded"]);
  EXPECT_EQ(summary["small"], counts["small"]);
  EXPECT_EQ(summary["grew"], counts["grew"]);
  EXPECT_EQ(summary["failed"], counts["problems"]);
  EXPECT_EQ(summary["bytesBefore"], before);
  EXPECT_EQ(summary["bytesAfter"], after);
  EXPECT_EQ(summary["listedForDeletion"], Json::array({"a.png"}));
  EXPECT_TRUE(summary["stopped"].is_null());
}

// Names are bytes. Every name is found again exactly, from "name" or, where it is not UTF-8, from the
// base64 of "nameBytes"; and the output is ASCII, so no reader breaks a line where the program did not.
TEST_F(CliTest, JsonNamesAreRecoverableByteForByte) {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  const std::set<std::string> names{"x\xff.gif", "x\xfe.gif", "line\u2028break.gif", "\u00C5.gif"};
  for (const std::string& name : names)
    test_images::writeSmallGif(source / name);
  const CliProcess::Ending ending = CliProcess::run({"--json", source, root_ / "out"});
  ASSERT_EQ(ending.exitStatus, 0) << ending.err;
  EXPECT_TRUE(std::ranges::all_of(ending.out, [](char c) { return static_cast<unsigned char>(c) < 0x80; }));

  std::set<std::string> found;
  for (const std::string& line : linesOf(ending.out)) {
    const Json object = Json::parse(line);
    if (object["type"] != "file")
      continue;
    if (!object.contains("nameBytes")) {
      found.insert(object["name"].get<std::string>());
      continue;
    }
    gsize length = 0;
    guchar* bytes = g_base64_decode(object["nameBytes"].get<std::string>().c_str(), &length);
    found.emplace(reinterpret_cast<const char*>(bytes), length);
    g_free(bytes);
  }
  EXPECT_EQ(found, names);
}
