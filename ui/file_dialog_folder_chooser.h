#pragma once

#include "folder_chooser.h"

class QFileDialog;

// The desktop's folder dialog: folders only, exactly one, modal. A fresh dialog for every call, so
// nothing of an earlier choice is kept.
class FileDialogFolderChooser final : public FolderChooser {
 public:
  std::optional<std::filesystem::path> chooseFolder(QWidget* parent) override;

  // The settings every dialog gets; title, start folder and button texts stay the desktop's defaults.
  static void configure(QFileDialog& dialog);
};
