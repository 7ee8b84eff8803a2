#include "optimize_content_view.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "content_column.h"
#include "flow_layout.h"
#include "folder_row.h"
#include "link_button.h"
#include "run_log.h"
#include "segmented_control.h"
#include "selectable_path.h"
#include "start_button.h"
#include "status_log.h"
#include "text_styles.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

std::optional<QString> displayPath(const std::optional<fs::path>& folder) {
  if (!folder)
    return std::nullopt;
  return QFile::decodeName(QByteArray::fromStdString(folder->string()));
}

QStringList toQStringList(const std::vector<std::string>& lines) {
  QStringList converted;
  for (const std::string& line : lines)
    converted << QString::fromStdString(line);
  return converted;
}

QStringList logLines(const RunEvent& event) {
  return toQStringList(run_log::linesOf(event));
}

int segmentOf(OutputMode mode) {
  return mode == OutputMode::changedOnly ? 0 : 1;
}

OutputMode modeOfSegment(int segment) {
  return segment == 0 ? OutputMode::changedOnly : OutputMode::fullReplacement;
}

// The desktop's quit keys; where the platform names none (the offscreen platform among them), Ctrl+Q.
QList<QKeySequence> quitKeys() {
  const QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Quit);
  return keys.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)} : keys;
}

}  // namespace

OptimizeContentView::OptimizeContentView(std::unique_ptr<FolderChooser> chooser, RunController::Engine engine,
                                         FolderOpener openFolder, QWidget* parent)
    : QWidget(parent),
      chooser_(std::move(chooser)),
      openFolder_(std::move(openFolder)),
      runController_(this, std::move(engine)) {
  setObjectName(QStringLiteral("optimizeContentView"));
  scrollArea_ = new QScrollArea(this);
  scrollArea_->setObjectName(QStringLiteral("scrollArea"));
  content_ = new ContentColumn(scrollArea_);
  content_->setObjectName(QStringLiteral("content"));

  heading_ = new QLabel(QStringLiteral("Image Optimizer"), content_);
  heading_->setObjectName(QStringLiteral("heading"));
  setAccessibleName(heading_->text());  // the window's name to assistive technology
  sourceRow_ = folderRow(QStringLiteral("Source folder"), sourceFolder_,
                         [this] { pickFolder([this](const fs::path& folder) { setSourceFolder(folder); }); });
  sourceRow_->setObjectName(QStringLiteral("sourceRow"));
  sourceRow_->setDropHandler([this](const fs::path& folder) { setSourceFolder(folder); });
  destRow_ = folderRow(QStringLiteral("Output folder"), destFolder_,
                       [this] { pickFolder([this](const fs::path& folder) { setDestFolder(folder); }); });
  destRow_->setObjectName(QStringLiteral("destRow"));
  destRow_->setDropHandler([this](const fs::path& folder) { setDestFolder(folder); });
  // Created in reading order, which is also the order Tab visits them.
  QWidget* modes = modeSection();
  QWidget* start = startRow();
  openFailure_ = openFailureRow();
  statusLog_ = new StatusLog(content_);
  statusLog_->setObjectName(QStringLiteral("statusLog"));

  column_ = new QVBoxLayout(content_);
  column_->setContentsMargins(padding, padding, padding, padding);
  column_->setSpacing(sectionSpacing);
  column_->addWidget(heading_);
  column_->addWidget(sourceRow_);
  column_->addWidget(destRow_);
  column_->addWidget(modes);
  column_->addWidget(start);
  column_->addWidget(openFailure_);
  column_->addWidget(statusLog_);

  scrollArea_->setFrameShape(QFrame::NoFrame);
  scrollArea_->setFocusPolicy(Qt::NoFocus);  // the controls inside take the focus
  scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scrollArea_->setWidgetResizable(true);
  scrollArea_->setWidget(content_);
  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(0, 0, 0, 0);
  window->addWidget(scrollArea_);
  connect(content_, &ContentColumn::layoutChanged, this, &OptimizeContentView::fitToContent);

  auto* quit = new QShortcut(this);
  quit->setKeys(quitKeys());
  connect(quit, &QShortcut::activated, this, &QWidget::close);

  applyStyle();
  syncToState();
}

OptimizeContentView::~OptimizeContentView() {
  runController_.stopAndWait();
}

FolderRow* OptimizeContentView::folderRow(const QString& label, const std::optional<fs::path>& path,
                                          std::function<void()> action) {
  auto* row = new FolderRow(label, std::move(action), content_);
  row->setPath(displayPath(path));
  return row;
}

QWidget* OptimizeContentView::modeSection() {
  auto* section = new QWidget(content_);
  section->setObjectName(QStringLiteral("modeSection"));
  modeTitle_ = new QLabel(QStringLiteral("Output mode"), section);
  modeTitle_->setObjectName(QStringLiteral("modeTitle"));
  modeControl_ = new SegmentedControl(
      {QStringLiteral("Changed files only"), QStringLiteral("Full folder replacement")}, section);
  modeControl_->setObjectName(QStringLiteral("modeControl"));
  modeControl_->setAccessibleName(QStringLiteral("Output mode"));
  connect(modeControl_, &SegmentedControl::segmentPicked, this,
          [this](int segment) { setMode(modeOfSegment(segment)); });
  modeDescription_ = new QLabel(section);
  modeDescription_->setObjectName(QStringLiteral("modeDescription"));
  modeDescription_->setWordWrap(true);
  modeDescription_->setTextFormat(Qt::PlainText);

  auto* layout = new QVBoxLayout(section);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(groupSpacing);
  layout->addWidget(modeTitle_);
  layout->addWidget(modeControl_, 0, Qt::AlignLeft);
  layout->addWidget(modeDescription_);
  return section;
}

// The start button, then what the run has done: during a run "12 of 39", after it the bytes saved, the
// problems if there were any (a link to the first of them in the log) and a link to the output folder.
// Where they do not fit beside the button (a large font), they move below.
QWidget* OptimizeContentView::startRow() {
  auto* row = new QWidget(content_);
  row->setObjectName(QStringLiteral("startRow"));
  startButton_ = new StartButton(QStringLiteral("Optimize images"), row);
  startButton_->setObjectName(QStringLiteral("startButton"));
  connect(startButton_, &QPushButton::clicked, this, &OptimizeContentView::run);
  runFigures_ = new QLabel(row);
  runFigures_->setObjectName(QStringLiteral("runFigures"));
  runFigures_->setTextFormat(Qt::PlainText);
  problemSummary_ = new LinkButton(QString(), row);
  problemSummary_->setObjectName(QStringLiteral("problemSummary"));
  connect(problemSummary_, &QPushButton::clicked, this, &OptimizeContentView::showFirstProblem);
  showRunFolder_ = new LinkButton(QStringLiteral("Show output folder"), row);
  showRunFolder_->setObjectName(QStringLiteral("showOutputFolder"));
  connect(showRunFolder_, &QPushButton::clicked, this, &OptimizeContentView::showRunFolder);

  auto* layout = new FlowLayout(row, style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, this),
                                groupSpacing);
  layout->addWidget(startButton_);
  layout->addWidget(runFigures_);
  layout->addWidget(problemSummary_);
  layout->addWidget(showRunFolder_);
  return row;
}

// Where "Show output folder" found nothing to show the folder with: says so, and gives the path to copy.
QWidget* OptimizeContentView::openFailureRow() {
  auto* row = new QWidget(content_);
  row->setObjectName(QStringLiteral("openFailure"));
  openFailureText_ = new QLabel(
      QStringLiteral("No file manager could be opened to show the output folder. It is here:"), row);
  openFailureText_->setObjectName(QStringLiteral("openFailureText"));
  openFailureText_->setWordWrap(true);
  openFailureText_->setTextFormat(Qt::PlainText);
  unopenedPath_ = new SelectablePath(row);
  unopenedPath_->setObjectName(QStringLiteral("unopenedFolder"));
  unopenedPath_->setAccessibleName(QStringLiteral("Output folder"));

  auto* layout = new QVBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(groupSpacing);
  layout->addWidget(openFailureText_);
  layout->addWidget(unopenedPath_);
  return row;
}

QString OptimizeContentView::modeDescription() const {
  if (mode_ == OutputMode::changedOnly) {
    return QStringLiteral(
        "Output folder only contains files that actually changed -- smaller, faster to upload, "
        "but any renamed PNGs need the old ones deleted from the server manually (see the list this "
        "produces).");
  }
  return QStringLiteral(
      "Output folder is a complete copy of the source, ready to replace the whole live folder in one "
      "upload -- simpler, but uploads everything even if most files didn't change.");
}

QString OptimizeContentView::runFigures() const {
  if (isStopping_)
    return QStringLiteral("Stopping after the images in hand\u2026");
  if (isRunning_) {
    if (filesTotal_ == 0)
      return {};
    return QStringLiteral("%1 of %2").arg(filesFinished_).arg(filesTotal_);
  }
  if (runResult_)
    return QString::fromStdString(run_log::bytesSavedText(*runResult_));
  return {};
}

QString OptimizeContentView::problemSummary() const {
  if (isRunning_ || !runResult_)
    return {};
  return QString::fromStdString(run_log::problemSummaryText(*runResult_).value_or(std::string()));
}

bool OptimizeContentView::openInFileManager(const fs::path& folder) {
  return QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder.string()))));
}

void OptimizeContentView::pickFolder(const FolderCompletion& completion) {
  if (const auto folder = chooser_->chooseFolder(this))
    completion(*folder);
}

void OptimizeContentView::run() {
  // The start button is disabled in all three cases; a second worker would interleave two logs.
  if (!sourceFolder_ || !destFolder_ || isRunning_)
    return;
  isRunning_ = true;
  statusLines_ = {QStringLiteral("Starting\u2026")};
  problemLines_.clear();
  ++statusGeneration_;
  runFolder_ = destFolder_;
  filesFinished_ = 0;
  filesTotal_ = 0;
  runResult_.reset();
  unopenedFolder_.reset();
  syncToState();
  emit runningChanged(true);
  emit statusLinesChanged();
  runController_.start(
      {*sourceFolder_, *destFolder_, mode_}, [this](const RunEvent& event) { takeEvent(event); },
      [this](const RunController::Ending& ending) { finishRun(ending); });
}

void OptimizeContentView::setSourceFolder(const fs::path& folder) {
  if (folder != sourceFolder_)
    forgetLastRunsOutcome();
  sourceFolder_ = folder;
  syncToState();
}

void OptimizeContentView::setDestFolder(const fs::path& folder) {
  if (folder != destFolder_)
    forgetLastRunsOutcome();
  destFolder_ = folder;
  syncToState();
}

void OptimizeContentView::setMode(OutputMode mode) {
  if (mode != mode_)
    forgetLastRunsOutcome();
  mode_ = mode;
  syncToState();
}

// What the window says beside the start button belongs to the last run's folders and mode; once one of
// them changes it would describe a run that the button no longer starts. The log keeps its lines.
void OptimizeContentView::forgetLastRunsOutcome() {
  runResult_.reset();
  unopenedFolder_.reset();
}

// The count follows the files as they finish, in any order; the total is known from the first file
// reported. Outcomes come in name order, so the n-th one means at least n files are done: the count
// never lags behind the log.
void OptimizeContentView::takeEvent(const RunEvent& event) {
  if (const auto* started = std::get_if<FileStarted>(&event)) {
    filesTotal_ = started->total;
  } else if (const auto* finished = std::get_if<FilesFinished>(&event)) {
    filesTotal_ = finished->total;
    filesFinished_ = std::max(filesFinished_, finished->finished);
  } else if (const auto* outcome = std::get_if<FileOutcome>(&event)) {
    filesTotal_ = outcome->total;
    filesFinished_ = std::max(filesFinished_, outcome->number);
  }
  const QStringList lines = logLines(event);  // none for a file that went as intended
  // Every line but a started file's reports a problem.
  if (!std::holds_alternative<FileStarted>(event)) {
    for (qsizetype index = 0; index < lines.size(); ++index)
      problemLines_ << statusLines_.size() + index;
  }
  statusLines_ += lines;
  syncToState();
  if (!lines.isEmpty())
    emit statusLinesChanged();
}

void OptimizeContentView::finishRun(const RunController::Ending& ending) {
  if (!ending.result)
    problemLines_ << statusLines_.size();
  statusLines_ += ending.result ? toQStringList(run_log::closingLines(*ending.result))
                                : QStringList{QString::fromStdString(ending.errorLine)};
  runResult_ = ending.result;
  isRunning_ = false;
  const bool stopped = std::exchange(isStopping_, false);
  syncToState();
  emit statusLinesChanged();
  emit runningChanged(false);
  if (stopped)
    close();  // as the user asked, now that the log says where the run stopped
}

// The folder the last run wrote to. Where nothing can show it (no file manager), the window says so.
void OptimizeContentView::showRunFolder() {
  if (!runFolder_)
    return;
  if (openFolder_(*runFolder_))
    unopenedFolder_.reset();
  else
    unopenedFolder_ = runFolder_;
  syncToState();
}

// At the user's request, the log shows the first problem below the line of the file it is about.
void OptimizeContentView::showFirstProblem() {
  if (problemLines_.isEmpty())
    return;
  statusLog_->scrollToLine(std::max<qsizetype>(0, problemLines_.front() - 1));
  statusLog_->setFocus(Qt::OtherFocusReason);
}

// Cheap enough to run for every event of a run: each setter below returns early when nothing changed,
// and the log adds only the new lines.
void OptimizeContentView::syncToState() {
  // The log first: when a run disables the focused start button, the keyboard focus moves on to it.
  statusLog_->showLines(statusLines_, statusGeneration_, problemLines_);
  if (statusLog_->isHidden() != statusLines_.isEmpty()) {
    statusLog_->setHidden(statusLines_.isEmpty());
    fitToContent();
  }
  sourceRow_->setPath(displayPath(sourceFolder_));
  destRow_->setPath(displayPath(destFolder_));
  // A run works on the folders and the mode it started with: during it, they cannot be changed.
  sourceRow_->setChoosable(!isRunning_);
  destRow_->setChoosable(!isRunning_);
  modeControl_->setEnabled(!isRunning_);
  modeControl_->setCurrentIndex(segmentOf(mode_));
  modeDescription_->setText(modeDescription());
  startButton_->setBusy(isRunning_);
  startButton_->setEnabled(sourceFolder_ && destFolder_ && !isRunning_);
  const QString figures = runFigures();
  runFigures_->setText(figures);
  runFigures_->setHidden(figures.isEmpty());
  const QString problems = problemSummary();
  problemSummary_->setText(problems);
  problemSummary_->setAccessibleName(problems);
  problemSummary_->setHidden(problems.isEmpty());
  showRunFolder_->setHidden(isRunning_ || !runResult_);
  unopenedPath_->setText(displayPath(unopenedFolder_).value_or(QString()));
  openFailure_->setHidden(!unopenedFolder_);
}

void OptimizeContentView::applyStyle() {
  heading_->setFont(styledFont(TextStyle::title2Bold, font()));
  modeTitle_->setFont(styledFont(TextStyle::subheadlineBold, font()));
  modeDescription_->setFont(styledFont(TextStyle::caption, font()));
  QPalette descriptionPalette = modeDescription_->palette();
  descriptionPalette.setColor(QPalette::WindowText,
                              secondaryTextColor(palette().color(QPalette::WindowText)));
  modeDescription_->setPalette(descriptionPalette);
  runFigures_->setFont(styledFont(TextStyle::callout, font()));
  runFigures_->setPalette(descriptionPalette);
  showRunFolder_->setFont(styledFont(TextStyle::callout, font()));
  problemSummary_->setFont(styledFont(TextStyle::callout, font()));
  QPalette warningPalette = problemSummary_->palette();
  const QColor warning = warningTextColor(palette().color(QPalette::Window));
  warningPalette.setColor(QPalette::Link, warning);
  warningPalette.setColor(QPalette::LinkVisited, warning);
  problemSummary_->setPalette(warningPalette);
  openFailureText_->setFont(styledFont(TextStyle::callout, font()));
  QPalette failurePalette = openFailureText_->palette();
  failurePalette.setColor(QPalette::WindowText, warning);
  openFailureText_->setPalette(failurePalette);
  unopenedPath_->setFont(styledFont(TextStyle::callout, font()));
  startButton_->applyStyle(palette());
  fitToContent();
}

// The window is exactly as wide as the content column. It is wider only where something cannot be
// narrower (a mode label, the heading or a button at a very large desktop font), and then only as much
// as that needs.
//
// Without the log it is exactly as tall as the content. With the log, the user may make it taller to
// give the log more room, or shorter down to the log's few lines. When the content changes height (the
// log appears, a line beside the start button comes or goes, the font changes), the window changes by
// as much and so keeps the room the user gave the log. It never grows beyond the screen's height: the
// log gives way first, and where the content is still too tall (a very large font on a small screen),
// the content scrolls.
void OptimizeContentView::fitToContent() {
  const int available = availableHeight();
  const int narrowest = column_->minimumSize().width();
  const bool scrolls = column_->minimumHeightForWidth(std::max(contentWidth, narrowest)) > available;
  const int scrollBar = scrolls ? scrollArea_->verticalScrollBar()->sizeHint().width() : 0;
  const int width = std::max(contentWidth, narrowest + scrollBar);
  const int natural = column_->heightForWidth(width - scrollBar);
  const int lowest = std::min(column_->minimumHeightForWidth(width - scrollBar), available);
  const int wanted = fittedHeight_ > 0 ? height() + natural - fittedHeight_ : natural;
  scrollArea_->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setFixedWidth(width);
  setMinimumHeight(lowest);
  setMaximumHeight(statusLog_->isHidden() ? lowest : QWIDGETSIZE_MAX);
  resize(width, std::clamp(wanted, lowest, std::max(lowest, available)));
  fittedHeight_ = natural;
}

// The height the screen has for the window's content, less the frame the window manager puts around
// it (known once the window has been shown).
int OptimizeContentView::availableHeight() const {
  const int frame = frameGeometry().height() - geometry().height();
  return screen()->availableGeometry().height() - frame;
}

void OptimizeContentView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // A new desktop font or theme: derive the text styles and colours again. The rows, the mode control
  // and the log do the same for themselves.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
    applyStyle();
}

// Closing during a run stops it: no new file starts and the files in hand are finished, which can take
// a few seconds. The window stays meanwhile and says so, and closes once the run has ended and its log
// says where it stopped. (The destructor stops and waits too, for a quit that skips this.)
void OptimizeContentView::closeEvent(QCloseEvent* event) {
  if (!isRunning_) {
    event->accept();
    return;
  }
  event->ignore();
  if (isStopping_)
    return;
  isStopping_ = true;
  runController_.requestStop();
  syncToState();
}
