#pragma once

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "folder_chooser.h"
#include "image_optimizer.h"
#include "run_controller.h"

class ContentColumn;
class FolderRow;
class LinkButton;
class QLabel;
class QScrollArea;
class QVBoxLayout;
class SegmentedControl;
class SelectablePath;
class StartButton;
class StatusLog;

// The one window: two folders, the output mode, the start button with what the run has done beside it,
// and the status log. It owns the whole user state in its state fields and is a function of them: every
// change goes through syncToState(), which brings each widget in line with the fields. All of it lives
// on the UI thread.
//
// Folders are std::optional<std::filesystem::path>: absent until chosen, and already in the form the
// engine takes, so a run hands them over unconverted.
class OptimizeContentView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int contentWidth = 520;
  static constexpr int padding = 24;
  static constexpr int sectionSpacing = 16;
  static constexpr int groupSpacing = 4;

  using FolderCompletion = std::function<void(const std::filesystem::path&)>;
  // Shows a folder to the user; false where nothing could show it.
  using FolderOpener = std::function<bool(const std::filesystem::path&)>;

  // `engine` is what a run runs and `openFolder` shows a folder to the user: the real ones unless a test
  // puts stand-ins in their place.
  explicit OptimizeContentView(std::unique_ptr<FolderChooser> chooser,
                               RunController::Engine engine = RunController::runEngine,
                               FolderOpener openFolder = openInFileManager, QWidget* parent = nullptr);
  // Stops a run in progress after the files in hand and waits for them.
  ~OptimizeContentView() override;

  const std::optional<std::filesystem::path>& sourceFolder() const { return sourceFolder_; }
  const std::optional<std::filesystem::path>& destFolder() const { return destFolder_; }
  ImageOptimizer::OutputMode mode() const { return mode_; }
  const QStringList& statusLines() const { return statusLines_; }
  bool isRunning() const { return isRunning_; }
  // Asked to stop: the files in hand are being finished, then the window closes.
  bool isStopping() const { return isStopping_; }

  QString modeDescription() const;
  // Beside the start button: "12 of 39" during a run, or that it is stopping; the bytes before and
  // after once it has succeeded; nothing otherwise.
  QString runFigures() const;
  // Beside the figures after a run with problems: "1 image could not be optimized -- see the log".
  QString problemSummary() const;

  // The desktop's file manager, showing `folder`; false where none could be started.
  static bool openInFileManager(const std::filesystem::path& folder);

  // The start button's action: starts a run on a background thread and returns at once. Does nothing
  // without both folders or while a run is in progress.
  void run();
  // Asks the chooser for one folder; `completion` gets it unless the user cancelled.
  void pickFolder(const FolderCompletion& completion);

 signals:
  void statusLinesChanged();
  void runningChanged(bool running);

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  FolderRow* folderRow(const QString& label, const std::optional<std::filesystem::path>& path,
                       std::function<void()> action);
  QWidget* modeSection();
  QWidget* startRow();
  QWidget* openFailureRow();
  void applyStyle();
  void syncToState();
  void fitToContent();
  int availableHeight() const;

  void setSourceFolder(const std::filesystem::path& folder);
  void setDestFolder(const std::filesystem::path& folder);
  void setMode(ImageOptimizer::OutputMode mode);
  void forgetLastRunsOutcome();
  void takeEvent(const RunEvent& event);
  void finishRun(const RunController::Ending& ending);
  void showRunFolder();
  void showFirstProblem();

  std::unique_ptr<FolderChooser> chooser_;
  FolderOpener openFolder_;

  // The state.
  std::optional<std::filesystem::path> sourceFolder_;
  std::optional<std::filesystem::path> destFolder_;
  ImageOptimizer::OutputMode mode_ = ImageOptimizer::OutputMode::changedOnly;
  QStringList statusLines_;
  // The indexes of the lines of statusLines_ that report a problem, ascending.
  QList<qsizetype> problemLines_;
  bool isRunning_ = false;
  bool isStopping_ = false;
  // Counts replacements of statusLines_, so that the log redraws only what was appended.
  std::uint64_t statusGeneration_ = 0;
  // The run in progress or the last run: where it writes, its finished images of how many, and once it
  // has succeeded its totals.
  std::optional<std::filesystem::path> runFolder_;
  std::size_t filesFinished_ = 0;
  std::size_t filesTotal_ = 0;
  std::optional<ImageOptimizer::Result> runResult_;
  // The run's output folder, after "Show output folder" found nothing to show it with.
  std::optional<std::filesystem::path> unopenedFolder_;

  // The content's natural height when the window last fitted it: a change of it changes the window.
  int fittedHeight_ = 0;

  QScrollArea* scrollArea_ = nullptr;
  ContentColumn* content_ = nullptr;
  QVBoxLayout* column_ = nullptr;
  QLabel* heading_ = nullptr;
  FolderRow* sourceRow_ = nullptr;
  FolderRow* destRow_ = nullptr;
  QLabel* modeTitle_ = nullptr;
  SegmentedControl* modeControl_ = nullptr;
  QLabel* modeDescription_ = nullptr;
  StartButton* startButton_ = nullptr;
  QLabel* runFigures_ = nullptr;
  LinkButton* problemSummary_ = nullptr;
  LinkButton* showRunFolder_ = nullptr;
  QWidget* openFailure_ = nullptr;
  QLabel* openFailureText_ = nullptr;
  SelectablePath* unopenedPath_ = nullptr;
  StatusLog* statusLog_ = nullptr;

  // Last member: destroyed first, so the worker is stopped and joined while everything it could post
  // to still exists.
  RunController runController_;
};
