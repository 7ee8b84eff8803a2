// libFuzzer: arbitrary bytes as one image file, through the engine's per-file image work: the header
// inspection that decides whether a decoder may see the file at all, then the re-encode.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "image_header.h"
#include "image_work.h"
#include "output_folder.h"
#include "source_file.h"
#include "temp_file.h"

namespace fs = std::filesystem;

namespace {

struct Folders {
  fs::path root = fs::temp_directory_path() / ("tarvolin-fuzz-" + std::to_string(::getpid()));
  fs::path input = root / "input.jpg";
  OutputFolder output;

  Folders() {
    fs::create_directories(root / "output");
    StepError error;
    output = OutputFolder::open(root / "output", error);
    startImageLibrary();
  }
  ~Folders() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folders folders;
  {
    std::ofstream file(folders.input, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  StepError error;
  const SourceFile input = SourceFile::open(folders.input, error);
  if (error)
    return 0;
  ImageHeader header;
  if (inspectImage(input, DecodeLimits{}, header))
    return 0;
  TempFile output = folders.output.newFile(error);
  if (error)
    return 0;
  // A tighter time than a run's, so that a slow input shows as a finding rather than as a slow fuzzer.
  const WorkLimits limits{.budget = std::chrono::seconds(5), .stopGrace = {}, .stop = {}};
  reencodeImage(input, header, output, 1920, 80, limits);
  return 0;
}
