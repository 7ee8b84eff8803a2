#pragma once

#include <filesystem>
#include <memory>

#include "fake_folder_chooser.h"
#include "optimize_content_view.h"

class ElidedLabel;
class FolderRow;
class QLabel;
class QPushButton;
class QPlainTextEdit;
class StartButton;
class StatusLog;

// A window with a fake chooser, and its parts found the way a user finds them: by what they are.
class ViewDriver {
 public:
  ViewDriver();

  OptimizeContentView& view() { return *view_; }
  FakeFolderChooser& chooser() { return *chooser_; }

  FolderRow* sourceRow() const;
  FolderRow* destRow() const;
  QPushButton* chooseButton(FolderRow* row) const;
  ElidedLabel* pathLabel(FolderRow* row) const;
  QPushButton* segment(int index) const;
  QLabel* modeDescription() const;
  StartButton* startButton() const;
  StatusLog* statusLog() const;
  QPlainTextEdit* statusLogText() const;

  // Through the "Choose…" buttons, as the user would.
  void chooseSource(const std::filesystem::path& folder);
  void chooseDest(const std::filesystem::path& folder);
  void clickStart();
  // Waits for the run to end; false on timeout.
  bool waitUntilIdle(int timeoutMs = 60000);
  // Closes and destroys the window, as the application does when the user closes it.
  void closeAndDestroy();

 private:
  FakeFolderChooser* chooser_;  // owned by the view
  std::unique_ptr<OptimizeContentView> view_;
};
