#include <filesystem>
#include <new>
#include <system_error>

#include "image_optimizer.h"

namespace {

// "Permission denied: /home/ann/site/out" instead of the library's
// "filesystem error: cannot create directories: Permission denied [/home/ann/site/out]".
std::string describe(const std::filesystem::filesystem_error& error) {
  std::string text = error.code().message();
  if (!error.path1().empty())
    text += ": " + error.path1().string();
  return text;
}

}  // namespace

std::string ImageOptimizer::errorDescription(const std::exception_ptr& error) {
  try {
    if (error)
      std::rethrow_exception(error);
  } catch (const std::filesystem::filesystem_error& failure) {
    return describe(failure);
  } catch (const std::system_error& failure) {
    return failure.code().message();
  } catch (const std::bad_alloc&) {
    return "Not enough memory to continue.";
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
  }
  return "An unknown error ended the run.";
}
