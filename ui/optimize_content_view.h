#pragma once

#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "focus_ring_style.h"
#include "folder_chooser.h"
#include "image_optimizer.h"
#include "run_controller.h"

class FolderRow;
class QButtonGroup;
class QCheckBox;
class QFocusFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class RunResults;
class StatusLog;

// The one window: two folders, the output mode and whether subfolders count, the start and stop buttons
// with the run's progress, what the last run came to, and its results as the status log and as a table
// of files. It owns the whole user state; the widgets follow it as the controls' and the run
// controller's signals arrive. All of it lives on the UI thread.
//
// Folders are std::optional<std::filesystem::path>: absent until chosen, and already in the form the
// engine takes, so a run hands them over unconverted.
class OptimizeContentView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int contentWidth = 520;

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
  // Asked to stop: the files in hand are being finished.
  bool isStopping() const { return isStopping_; }

  QString modeDescription() const;
  // The desktop's file manager, showing `folder`; false where none could be started.
  static bool openInFileManager(const std::filesystem::path& folder);

  // The start button's action: starts a run on a background thread and returns at once. Does nothing
  // without two different folders or while a run is in progress.
  void run();
  // The stop button's action: no new file starts, the files in hand are finished, and the window stays.
  void stop();
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
  QWidget* runStatusArea();
  void applyFonts();
  void applyColours();
  void fitWindow();
  bool eventFilter(QObject* watched, QEvent* event) override;

  void setSourceFolder(const std::filesystem::path& folder);
  void setDestFolder(const std::filesystem::path& folder);
  void setMode(ImageOptimizer::OutputMode mode);
  void foldersChanged();
  bool canStart() const;
  void setRunning(bool running);
  void forgetLastRunsOutcome();
  void appendLines(const QStringList& lines, bool problem);
  void takeEvent(const RunEvent& event);
  void finishRun(const ImageOptimizer::Result& result);
  void failRun(const QString& errorLine);
  void endRun();
  void showOutcome();
  void showRunFolder();
  void showFirstProblem();

  std::unique_ptr<FolderChooser> chooser_;
  FolderOpener openFolder_;

  // The state.
  std::optional<std::filesystem::path> sourceFolder_;
  std::optional<std::filesystem::path> destFolder_;
  ImageOptimizer::OutputMode mode_ = ImageOptimizer::OutputMode::changedOnly;
  QStringList statusLines_;
  bool isRunning_ = false;
  bool isStopping_ = false;
  bool closeAfterRun_ = false;
  // The indexes of the lines of statusLines_ that report a problem, ascending.
  QList<qsizetype> problemLines_;
  // The log line of the file the run reported last: the line its row in the table leads to.
  qsizetype fileLine_ = 0;
  // The files the run has placed in the output folder so far.
  int placedFiles_ = 0;
  // The run in progress or the last run: where it writes, and once it has ended well, its totals.
  std::optional<std::filesystem::path> runFolder_;
  std::optional<ImageOptimizer::Result> runResult_;
  // The run's output folder, after "Show output folder" found nothing to show it with.
  std::optional<std::filesystem::path> unopenedFolder_;
  // Set once the first run has brought in the results and the window has grown for them.
  bool grownForResults_ = false;

  QScrollArea* scrollArea_ = nullptr;
  QWidget* content_ = nullptr;
  QLabel* heading_ = nullptr;
  FolderRow* sourceRow_ = nullptr;
  FolderRow* destRow_ = nullptr;
  QLabel* sameFolder_ = nullptr;
  QButtonGroup* modeButtons_ = nullptr;
  QLabel* modeDescription_ = nullptr;
  QCheckBox* includeSubfolders_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QWidget* runStatus_ = nullptr;
  QLabel* runFigures_ = nullptr;
  QLabel* problemSummary_ = nullptr;
  QLabel* showOutputFolder_ = nullptr;
  QWidget* openFailure_ = nullptr;
  QLineEdit* unopenedPath_ = nullptr;
  RunResults* results_ = nullptr;
  StatusLog* statusLog_ = nullptr;

  // The frame goes before the style it is drawn with.
  FocusRingStyle focusRingStyle_;
  std::unique_ptr<QFocusFrame> focusFrame_;
  // Last member: destroyed first, so the worker is stopped and joined while everything it could post
  // to still exists.
  RunController runController_;
};
