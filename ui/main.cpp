#include "optimize_images_app.h"

int main(int argc, char** argv) {
  return OptimizeImagesApp::main(argc, argv);
}
