#pragma once

#include <climits>
#include <optional>
#include <string>

#include "file_contents.h"
#include "file_job.h"
#include "folder_run.h"
#include "output_folder.h"
#include "run_fixture.h"
#include "run_log.h"
#include "run_plan.h"
#include "source_listing.h"

// A run assembled as ImageOptimizer::run assembles it, with a stand-in in place of the image work.
class EncoderRunFixture : public RunFixture {
 protected:
  struct How {
    unsigned jobs = 1;
    std::uint64_t memoryInFlight = 1ULL << 30;
    std::stop_token stop{};
    bool skipUnchanged = false;
    bool recursive = false;
    AvifEncoders avif{};  // set: an AVIF is asked for beside every JPEG
  };

  OutputFolder openOutput() {
    std::filesystem::create_directories(output);
    StepError error;
    OutputFolder folder = OutputFolder::open(output, error);
    EXPECT_FALSE(error) << error.reason();
    return folder;
  }

  // `events`, `lines` and `failure` hold what the run reported.
  ImageOptimizer::Result runWithEncoder(Mode mode, const Encoder& encoder) {
    return runWithEncoder(mode, encoder, How{});
  }
  ImageOptimizer::Result runWithEncoder(Mode mode, const Encoder& encoder, const How& how) {
    OutputFolder folder = openOutput();
    SourceListing listing;
    EXPECT_FALSE(listSourceFolder(source, listing, {.recursive = how.recursive, .outputFolder = {}}));
    const SourceLinkGuard links(listing.images);
    RunContext context{mode,
                       &folder,
                       listing.root.get(),
                       &links,
                       encoder,
                       DecodeLimits{},
                       recordSettings(mode, static_cast<bool>(how.avif))};
    context.avif = how.avif;
    const RunEventHandler record = [this](const RunEvent& event) {
      events.push_back(event);
      for (const std::string& line : run_log::linesOf(event))
        lines.push_back(line);
    };
    const std::vector<FilePlan> plans =
        planRun(listing.images, {.mode = mode,
                                 .foldsCase = false,
                                 .folder = &folder,
                                 .sourceLinks = &links,
                                 .skipUnchanged = how.skipUnchanged,
                                 .recordSettings = recordSettings(mode, static_cast<bool>(how.avif)),
                                 .avif = static_cast<bool>(how.avif)})
            .files;
    FolderRunOutcome outcome =
        FolderRun(plans, context, record, how.stop, {how.jobs, how.memoryInFlight}).handleAll();
    failure = outcome.failure;
    return outcome.totals;
  }

  // The name of the source file an encoder was handed.
  static std::string nameOf(const SourceFile& input) {
    char name[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(input.descriptor());
    const ssize_t length = ::readlink(link.c_str(), name, sizeof name - 1);
    return length > 0 ? std::filesystem::path(std::string(name, static_cast<std::size_t>(length)))
                            .filename()
                            .string()
                      : std::string();
  }

  // Writes a few bytes, as a re-encode that shrank the image would.
  static StepError smallJpeg(TempFile& output) { return writeContents(output, "\xFF\xD8\xFF small"); }

  std::optional<RunFailure> failure;
};
