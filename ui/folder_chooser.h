#pragma once

#include <filesystem>
#include <optional>

class QWidget;

// Lets the user choose exactly one folder. An interface so that tests can answer in place of the user.
class FolderChooser {
 public:
  virtual ~FolderChooser() = default;

  // Modal over `parent`; returns once the user has answered. nullopt when the user cancelled.
  virtual std::optional<std::filesystem::path> chooseFolder(QWidget* parent) = 0;
};
