#include <malloc.h>

#include "optimize_images_app.h"

int main(int argc, char** argv) {
  // glibc gives every thread that allocates its own arena and keeps what it once held: with several
  // images at once and libvips' threads, a run grew to three times the memory it needs, and further
  // with its length. One arena holds it flat at no measurable cost (bench/README.md).
  mallopt(M_ARENA_MAX, 1);
  return OptimizeImagesApp::main(argc, argv);
}
