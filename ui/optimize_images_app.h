#pragma once

// The application: one window in its initial state, and the event loop until that window is closed.
namespace OptimizeImagesApp {

int main(int argc, char** argv);

}  // namespace OptimizeImagesApp
