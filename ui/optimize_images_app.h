#pragma once

// The application: one window in its initial state, and the event loop until that window is closed.
class OptimizeImagesApp {
 public:
  OptimizeImagesApp() = delete;

  static int main(int argc, char** argv);
};
