#include <malloc.h>

#include "optimize_images_app.h"
#include "standard_streams.h"

int main(int argc, char** argv) {
  // A launcher that closed standard error would let an image the run writes take its number, and Qt's
  // warnings would then be written into that image.
  reopenClosedStandardStreams();
  // glibc gives every thread that allocates its own arena and keeps what it once held: with several
  // images at once and libvips' threads, a run grew to three times the memory it needs, and further
  // with its length. One arena holds it flat at no measurable cost (bench/README.md).
  mallopt(M_ARENA_MAX, 1);
  return OptimizeImagesApp::main(argc, argv);
}
