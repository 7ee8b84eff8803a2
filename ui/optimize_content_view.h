#pragma once

#include <QFocusFrame>
#include <QScrollArea>
#include <memory>
#include <optional>

#include "focus_ring_style.h"
#include "folder_chooser.h"
#include "run_controller.h"

class FolderRow;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class RunResults;

// The one window: two folders, the output mode and two check boxes, the start and stop buttons with the
// run's progress, what the last run came to, and its log and table of files, scrolled where the screen
// is too small. It owns the whole user state, on the UI thread. Folders are absent until chosen.
class OptimizeContentView : public QScrollArea {
  Q_OBJECT

 public:
  // Shows a folder to the user; false where nothing could show it.
  using FolderOpener = std::function<bool(const std::filesystem::path&)>;

  // Tests put stand-ins in place of the engine and of what shows a folder.
  explicit OptimizeContentView(std::unique_ptr<FolderChooser> chooser,
                               RunController::Engine engine = RunController::runEngine,
                               FolderOpener openFolder = openInFileManager, QWidget* parent = nullptr);
  ~OptimizeContentView() override { delete takeWidget(); }  // before the style its controls are drawn with

  const std::optional<std::filesystem::path>& sourceFolder() const { return sourceFolder_; }
  const std::optional<std::filesystem::path>& destFolder() const { return destFolder_; }
  ImageOptimizer::OutputMode mode() const;
  const QStringList& statusLines() const { return statusLines_; }
  bool isRunning() const { return isRunning_; }

  QString modeDescription() const;
  static bool openInFileManager(const std::filesystem::path& folder);

  // The start button's action: starts a run in the background, unless it cannot start.
  void run();
  // The stop button's action: no new file starts and the files in hand are finished.
  void stop();

 signals:
  void statusLinesChanged();
  void runningChanged(bool running);

 protected:
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  FolderRow* folderRow(const QString& label, const char* name, std::optional<std::filesystem::path>& folder);
  QWidget* modeSection();
  QWidget* startRow();
  QWidget* runStatusArea();
  void followTheme();
  void fitWindow();
  bool eventFilter(QObject* watched, QEvent* event) override;

  void foldersChanged();
  bool canStart() const { return sourceFolder_ && destFolder_ && !isRunning_ && sameFolder_->isHidden(); }
  void setRunning(bool running);
  void forgetLastRunsOutcome();
  void appendLines(const QStringList& lines, bool problem);
  void takeEvent(const RunEvent& event);
  void endRun(const QStringList& lines, bool problem);
  void showOutcome();

  std::unique_ptr<FolderChooser> chooser_;
  FolderOpener openFolder_;

  std::optional<std::filesystem::path> sourceFolder_;
  std::optional<std::filesystem::path> destFolder_;
  QStringList statusLines_;
  bool isRunning_ = false;
  bool isStopping_ = false;
  bool closeAfterRun_ = false;
  qsizetype firstProblem_ = -1;  // the first problem line of statusLines_
  qsizetype fileLine_ = 0;       // the log line of the file reported last, which its table row leads to
  int placedFiles_ = 0;          // in the output folder so far
  std::optional<ImageOptimizer::Result> runResult_;  // of the last run, once it has ended well

  QWidget* content_ = nullptr;
  QLabel* heading_ = nullptr;
  QWidget* sameFolder_ = nullptr;  // shown while the two folders are one
  QLabel* dropRefused_ = nullptr;  // why the last drop was refused, until the next action
  QButtonGroup* modeButtons_ = nullptr;
  QCheckBox* includeSubfolders_ = nullptr;
  QCheckBox* alsoAvif_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* runFigures_ = nullptr;
  QLabel* problemSummary_ = nullptr;
  QLabel* showOutputFolder_ = nullptr;
  QLabel* openFailure_ = nullptr;
  QLineEdit* unopenedPath_ = nullptr;  // empty unless "Show output folder" could not show the folder
  RunResults* results_ = nullptr;

  // The frame goes before the style it is drawn with.
  FocusRingStyle focusRingStyle_;
  QFocusFrame focusFrame_{this};
  // Last member: destroyed first, so the worker is stopped and joined while all it posts to exists.
  RunController runController_;
};
