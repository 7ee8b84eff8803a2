#include "optimize_content_view.h"

#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyleOption>
#include <QStylePainter>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "contrast.h"
#include "folder_row.h"
#include "run_log.h"
#include "run_results.h"
#include "status_log.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

constexpr int contentWidth = 520;
constexpr int padding = 24;
constexpr int sectionSpacing = 16;
constexpr int groupSpacing = 4;

QString displayPath(const fs::path& folder) {
  return QFile::decodeName(QByteArray::fromStdString(folder.string()));
}

QStringList toQStringList(const std::vector<std::string>& lines) {
  QStringList converted;
  for (const std::string& line : lines)
    converted << QString::fromStdString(line);
  return converted;
}

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QLabel* wrappingLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = named(new QLabel(text, parent), name);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  return label;
}

// A link for an action beside the main one: one stop for Tab and Shift+Tab, activated by Enter. The
// keyboard stays out of its text, where QLabel would frame the link again and keep Shift+Tab on it.
class LinkLabel : public QLabel {
 public:
  explicit LinkLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(true);
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
      return QLabel::keyPressEvent(event);
    emit linkActivated(QStringLiteral("#"));  // the one link each of these labels holds
  }
};

// A link's colour goes into its text: rich text takes the application's link colour, not the label's.
void setLinkText(QLabel* label, const QString& text, const QColor& colour = {}) {
  const QString style =
      colour.isValid() ? QStringLiteral(" style=\"color:%1\"").arg(colour.name()) : QString();
  label->setText(QStringLiteral("<a href=\"#\"%1>%2</a>").arg(style, text.toHtmlEscaped()));
  label->setAccessibleName(text);
}

// A check box whose text wraps like a label's rather than widen the window; a click on its text counts.
class WrappingCheckBox : public QCheckBox {
 public:
  WrappingCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);  // as tall as its lines
  }
  QSize sizeHint() const override { return around(fontMetrics().size(0, text())); }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return around(wrapped(width).size()).height(); }
  // As narrow as its longest word.
  QSize minimumSizeHint() const override { return {around(wrapped(0).size()).width(), sizeHint().height()}; }

 protected:
  bool hitButton(const QPoint& pos) const override { return QAbstractButton::hitButton(pos); }
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    const QRect text = wrapped(width());
    painter.drawItemText(
        text.translated(style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this).left(),
                        (height() - text.height()) / 2),
        Qt::TextWordWrap, palette(), isEnabled(), this->text(), foregroundRole());
  }

 private:
  QSize around(QSize text) const {  // the check box round text of that size
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_CheckBox, &option, text, this);
  }
  QRect wrapped(int width) const {  // its text in a check box `width` wide
    const int room = std::max(1, width - around({}).width());
    return fontMetrics().boundingRect(0, 0, room, QWIDGETSIZE_MAX, Qt::TextWordWrap, text());
  }
};

// The window's content: it asks the scroll area only for its least height, so the log gives way first.
class ContentColumn : public QWidget {
 public:
  using QWidget::QWidget;
  int heightForWidth(int width) const override { return layout()->totalMinimumHeightForWidth(width); }
};

}  // namespace

OptimizeContentView::OptimizeContentView(std::unique_ptr<FolderChooser> chooser, RunController::Engine engine,
                                         FolderOpener openFolder, QWidget* parent)
    : QScrollArea(parent),
      chooser_(std::move(chooser)),
      openFolder_(std::move(openFolder)),
      focusRingStyle_(QApplication::style()->name()),
      runController_(std::move(engine)) {
  content_ = new ContentColumn(this);
  heading_ = named(new QLabel(QStringLiteral("Image Optimizer"), content_), "heading");
  setAccessibleName(heading_->text());  // the window's name to assistive technology
  // The engine's own words for the run it would refuse.
  sameFolder_ = wrappingLabel(QStringLiteral("The output folder must be different from the source folder."),
                              "sameFolder", content_);
  dropRefused_ = wrappingLabel(QString(), "dropRefused", content_);
  dropRefused_->hide();

  auto* column = new QVBoxLayout(content_);
  column->setContentsMargins(padding, padding, padding, padding);
  column->setSpacing(sectionSpacing);
  // Created in reading order, which is also the order Tab visits them.
  for (QWidget* part : std::initializer_list<QWidget*>{
           heading_, folderRow(QStringLiteral("Source folder"), "sourceRow", sourceFolder_),
           folderRow(QStringLiteral("Output folder"), "destRow", destFolder_), sameFolder_, dropRefused_,
           modeSection(), startRow(), runStatusArea()})
    column->addWidget(part);
  column->addWidget(results_ = named(new RunResults(content_), "results"), 1);
  results_->hide();  // brought in with the first run
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::NoFocus);  // the controls inside take the focus
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWidgetResizable(true);
  setWidget(content_);  // which also filters its events: its layout changes refit the window

  connect(&runController_, &RunController::reported, this, &OptimizeContentView::takeEvent);
  connect(&runController_, &RunController::finished, this, [this](const ImageOptimizer::Result& result) {
    runResult_ = result;
    endRun(toQStringList(run_log::closingLines(result)), false);
  });
  connect(&runController_, &RunController::failed, this,
          [this](const QString& line) { endRun({line}, true); });

  // One focus ring for every control, from launch on; the controls draw none of their own.
  for (QWidget* control : content_->findChildren<QWidget*>())
    control->setStyle(&focusRingStyle_);
  focusFrame_.setStyle(&focusRingStyle_);
  connect(qApp, &QApplication::focusChanged, &focusFrame_, [this](QWidget*, QWidget* now) {
    focusFrame_.setWidget(now != nullptr && isAncestorOf(now) ? now : nullptr);
  });

  new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this, this, &QWidget::close);  // the desktops' quit key

  followTheme();
  foldersChanged();
  fitWindow();
}

// A folder chosen through the row's chooser or dropped on the row goes into `folder`.
FolderRow* OptimizeContentView::folderRow(const QString& label, const char* name,
                                          std::optional<fs::path>& folder) {
  auto* row = named(new FolderRow(label, content_), name);
  const auto choose = [this, row, &folder](const fs::path& chosen) {
    if (chosen != folder)
      forgetLastRunsOutcome();
    folder = chosen;
    row->setPath(displayPath(chosen));
    foldersChanged();
  };
  connect(row, &FolderRow::chooseRequested, this, [this, choose] {
    if (const auto chosen = chooser_->chooseFolder(this))
      choose(*chosen);
  });
  connect(row, &FolderRow::folderDropped, this, choose);
  connect(row, &FolderRow::dropRefused, this, [this](const QString& why) {
    dropRefused_->setText(why);
    dropRefused_->show();
    qApp->installEventFilter(this);  // until the user's next click, key or drag
  });
  return row;
}

QWidget* OptimizeContentView::modeSection() {
  auto* section = named(new QWidget(content_), "modeSection");
  auto* title = named(new QLabel(QStringLiteral("Output mode"), section), "modeTitle");
  QFont bold;  // only the weight: the size follows the desktop's font
  bold.setBold(true);
  title->setFont(bold);
  auto* layout = new QVBoxLayout(section);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(groupSpacing);
  layout->addWidget(title);
  modeButtons_ = new QButtonGroup(section);
  for (const auto& [mode, text, name] :
       {std::tuple{OutputMode::changedOnly, "Changed files only", "changedOnly"},
        std::tuple{OutputMode::fullReplacement, "Full folder replacement", "fullReplacement"}}) {
    auto* button = named(new QRadioButton(QString::fromLatin1(text), section), name);
    button->setChecked(mode == OutputMode::changedOnly);
    modeButtons_->addButton(button, static_cast<int>(mode));
    layout->addWidget(button, 0, Qt::AlignLeft);  // as wide as its label, which a click must hit
  }
  auto* description = wrappingLabel(modeDescription(), "modeDescription", section);
  description->setForegroundRole(QPalette::PlaceholderText);  // the theme's secondary text
  layout->addWidget(description);
  connect(modeButtons_, &QButtonGroup::idToggled, this, [this, description](int, bool checked) {
    if (checked) {
      forgetLastRunsOutcome();
      description->setText(modeDescription());
    }
  });
  for (auto [box, text, name] :
       {std::tuple{&includeSubfolders_, "Include subfolders", "includeSubfolders"},
        std::tuple{&alsoAvif_, "Also save AVIF versions (smaller, for servers set up to serve them)",
                   "alsoAvif"}}) {
    *box = named(new WrappingCheckBox(QString::fromLatin1(text), section), name);
    connect(*box, &QCheckBox::toggled, this, &OptimizeContentView::forgetLastRunsOutcome);
    layout->addWidget(*box, 0, Qt::AlignLeft);  // as wide as its text, which a click must hit
  }
  return section;
}

// The start button, the stop button during a run, and the count of files placed, which a stop keeps.
QWidget* OptimizeContentView::startRow() {
  auto* row = named(new QWidget(content_), "startRow");
  startButton_ = named(new QPushButton(QStringLiteral("Optimize images"), row), "startButton");
  startButton_->setDefault(true);
  stopButton_ = named(new QPushButton(QStringLiteral("Stop"), row), "stopButton");
  stopButton_->hide();
  for (QPushButton* button : {startButton_, stopButton_})
    button->setAutoDefault(true);  // outside a dialog, the flag that makes Enter click the focused button
  connect(startButton_, &QPushButton::clicked, this, &OptimizeContentView::run);
  connect(stopButton_, &QPushButton::clicked, this, &OptimizeContentView::stop);
  progress_ = named(new QProgressBar(row), "runProgress");
  progress_->setFormat(QStringLiteral("%v of %m"));
  progress_->setAccessibleName(QStringLiteral("Images done"));
  progress_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);  // whatever the buttons leave
  progress_->hide();
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(startButton_);
  layout->addWidget(stopButton_);
  layout->addWidget(progress_, 1);
  layout->addStretch();  // keeps the buttons at the leading edge while there is no progress to show
  return row;
}

// What the run came to, shown only with something to say: sizes or stop, problem line, output folder link.
QWidget* OptimizeContentView::runStatusArea() {
  auto* area = named(new QWidget(content_), "runStatus");
  runFigures_ = wrappingLabel(QString(), "runFigures", area);
  problemSummary_ = named(new LinkLabel(area), "problemSummary");
  connect(problemSummary_, &QLabel::linkActivated, this, [this] {  // the first problem, below its file
    if (firstProblem_ >= 0)
      results_->showLogLine(std::max<qsizetype>(0, firstProblem_ - 1));
  });
  showOutputFolder_ = named(new LinkLabel(area), "showOutputFolder");
  setLinkText(showOutputFolder_, QStringLiteral("Show output folder"));
  connect(showOutputFolder_, &QLabel::linkActivated, this, [this] {  // a link only after a run
    unopenedPath_->setText(openFolder_(*destFolder_) ? QString() : displayPath(*destFolder_));
    showOutcome();
  });
  // Where "Show output folder" found nothing to show the folder with: says so, and gives the path to copy.
  openFailure_ =
      wrappingLabel(QStringLiteral("No file manager could be opened to show the output folder. It is here:"),
                    "openFailure", area);
  unopenedPath_ = named(new QLineEdit(area), "unopenedFolder");
  unopenedPath_->setReadOnly(true);
  unopenedPath_->setAccessibleName(QStringLiteral("Output folder"));
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(groupSpacing);
  for (QWidget* part : std::initializer_list<QWidget*>{runFigures_, problemSummary_, showOutputFolder_,
                                                       openFailure_, unopenedPath_})
    layout->addWidget(part);
  return area;
}

OutputMode OptimizeContentView::mode() const {
  return static_cast<OutputMode>(modeButtons_->checkedId());
}

QString OptimizeContentView::modeDescription() const {
  if (mode() == OutputMode::changedOnly)
    return QStringLiteral(
        "Output folder only contains files that actually changed -- smaller, faster to upload, "
        "but any renamed PNGs need the old ones deleted from the server manually (see the list this "
        "produces).");
  return QStringLiteral(
      "Output folder is a complete copy of the source, ready to replace the whole live folder in one "
      "upload -- simpler, but uploads everything even if most files didn't change.");
}

bool OptimizeContentView::openInFileManager(const fs::path& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(displayPath(folder)));
}

// Refused as soon as it is picked rather than when the run starts: a line says why. Another spelling of
// a folder or a link to it is the same folder; one that does not exist yet is not.
void OptimizeContentView::foldersChanged() {
  std::error_code error;
  sameFolder_->setVisible(
      sourceFolder_ && destFolder_ &&
      (*sourceFolder_ == *destFolder_ || fs::equivalent(*sourceFolder_, *destFolder_, error)));
  startButton_->setEnabled(canStart());
}

// What the window says of the last run is stale once a folder or choice changes; log and table stay.
void OptimizeContentView::forgetLastRunsOutcome() {
  if (isRunning_)
    return;
  runResult_.reset();
  unopenedPath_->clear();
  progress_->hide();
  showOutcome();
}

void OptimizeContentView::run() {
  if (!canStart())
    return;
  forgetLastRunsOutcome();
  statusLines_.clear();
  firstProblem_ = -1;
  results_->restart();
  progress_->setRange(0, 0);  // busy until the run says how many files it has
  progress_->setValue(placedFiles_ = 0);
  progress_->show();
  results_->show();
  setRunning(true);
  appendLines({QStringLiteral("Starting\u2026")}, false);
  runController_.start({*sourceFolder_, *destFolder_, mode(), includeSubfolders_->isChecked(),
                        alsoAvif_->isChecked() ? std::set{ExtraFormat::avif} : std::set<ExtraFormat>{}});
}

// A run works on the folders and the choices it started with: meanwhile they cannot be changed.
void OptimizeContentView::setRunning(bool running) {
  isRunning_ = running;
  const bool stopHadFocus = stopButton_->hasFocus();
  // Shown before the start button is disabled: a focused start button hands the focus on to it.
  stopButton_->setVisible(running);
  startButton_->setEnabled(canStart());
  if (stopHadFocus && startButton_->isEnabled())
    startButton_->setFocus(Qt::OtherFocusReason);
  for (FolderRow* row : content_->findChildren<FolderRow*>())
    row->setChoosable(!running);
  for (QAbstractButton* choice :
       modeButtons_->buttons() + QList<QAbstractButton*>{includeSubfolders_, alsoAvif_})
    choice->setEnabled(!running);
  showOutcome();
  emit runningChanged(running);
}

void OptimizeContentView::stop() {
  if (!isRunning_ || isStopping_)
    return;
  isStopping_ = true;  // a second press changes nothing; the button keeps the focus for the start button
  showOutcome();
  runController_.requestStop();
}

void OptimizeContentView::appendLines(const QStringList& lines, bool problem) {
  if (lines.isEmpty())
    return;
  if (problem && firstProblem_ < 0)
    firstProblem_ = statusLines_.size();
  statusLines_ += lines;
  results_->log()->appendLines(lines, problem ? StatusLog::LineKind::problem : StatusLog::LineKind::plain);
  emit statusLinesChanged();
}

// Outcomes come in name order as each file is placed: the count is what the output holds, as a stop keeps.
void OptimizeContentView::takeEvent(const RunEvent& event) {
  if (const auto* started = std::get_if<FileStarted>(&event)) {
    progress_->setMaximum(static_cast<int>(started->total));
    fileLine_ = statusLines_.size();
  } else if (const auto* outcome = std::get_if<FileOutcome>(&event)) {
    // A progress bar repaints at once for each value: show it once per pass of the event loop instead.
    if (std::exchange(placedFiles_, static_cast<int>(outcome->number)) == progress_->value())
      QTimer::singleShot(0, progress_, [this] { progress_->setValue(placedFiles_); });
    results_->addOutcome(*outcome, fileLine_);
  }
  // The lines of an event report a problem all together or not at all.
  appendLines(toQStringList(run_log::linesOf(event)), !run_log::problemLinesOf(event).empty());
}

// The last lines: the totals, or the error line. The count stays after a run that placed images.
void OptimizeContentView::endRun(const QStringList& lines, bool problem) {
  appendLines(lines, problem);
  progress_->setVisible(runResult_ && runResult_->images > 0);
  isStopping_ = false;
  setRunning(false);
  if (std::exchange(closeAfterRun_, false))
    close();  // as the user asked, now that the log says where the run stopped
}

// Below the progress: what the run is doing or came to (a run starts without the last one's result).
void OptimizeContentView::showOutcome() {
  QString figures = isStopping_ ? QStringLiteral("Stopping after the images in hand\u2026") : QString();
  if (runResult_) {
    figures = QString::fromStdString(run_log::bytesSavedText(*runResult_));
    if (runResult_->stopped)
      figures = QString::fromStdString(run_log::stopLine(*runResult_)) + QLatin1Char('\n') + figures;
  }
  runFigures_->setText(figures);
  runFigures_->setHidden(figures.isEmpty());
  const auto problems = runResult_ ? run_log::problemSummaryText(*runResult_) : std::nullopt;
  setLinkText(problemSummary_, QString::fromStdString(problems.value_or(std::string())),
              warningTextColor(palette().color(QPalette::Window)));
  problemSummary_->setHidden(!problems);
  showOutputFolder_->setHidden(!runResult_);
  openFailure_->setHidden(unopenedPath_->text().isEmpty());
  unopenedPath_->setHidden(unopenedPath_->text().isEmpty());
  runFigures_->parentWidget()->setHidden(figures.isEmpty() && !runResult_);
}

// The desktop's font, with the heading larger and the log in its monospaced cut; the theme's colours,
// with its secondary text made to read at 4.5:1, and its warning colour for refusals and the problem line.
void OptimizeContentView::followTheme() {
  const qreal points = QFontInfo(font()).pointSizeF();  // also where the desktop gave it in pixels
  QFont heading = font();
  heading.setPointSizeF(points * 1.3);
  heading.setBold(true);
  heading_->setFont(heading);
  QFont log = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  log.setPointSizeF(points * 0.9);
  results_->log()->setFont(log);
  QPalette shown = palette();
  shown.setColor(QPalette::PlaceholderText, secondaryTextColor(palette()));
  content_->setPalette(shown);
  shown.setColor(QPalette::WindowText, warningTextColor(palette().color(QPalette::Window)));
  sameFolder_->setPalette(shown);
  dropRefused_->setPalette(shown);
  showOutcome();  // the problem line's link takes the new colour
}

// 520 wide, wider only where a label cannot be narrower (a very large font). As tall as its content until
// the first run brings in the results and grows it once; then the user sets the height, down to a few
// lines of log. Never taller than the screen: the log gives way first, then the content scrolls.
void OptimizeContentView::fitWindow() {
  const QLayout* column = content_->layout();
  // Until the window manager has framed the window, its frame is not known: a title bar is allowed for.
  const int frame = std::max(frameGeometry().height() - geometry().height(),
                             style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
  const int available = screen()->availableGeometry().height() - frame;
  const int narrowest = column->minimumSize().width();
  const bool scrolls = column->totalMinimumHeightForWidth(std::max(contentWidth, narrowest)) > available;
  const int scrollBar = scrolls ? verticalScrollBar()->sizeHint().width() : 0;
  const int width = std::max(contentWidth, narrowest + scrollBar);
  const int natural = std::min(column->totalHeightForWidth(width - scrollBar), available);
  setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setFixedWidth(width);
  if (results_->isHidden()) {
    setFixedHeight(natural);
    return;
  }
  const bool firstWithResults = minimumHeight() == maximumHeight();  // still the launch's fixed height
  setMinimumHeight(std::min(column->totalMinimumHeightForWidth(width - scrollBar), available));
  setMaximumHeight(QWIDGETSIZE_MAX);
  if (firstWithResults || height() > available)
    resize(width, firstWithResults ? natural : available);
}

bool OptimizeContentView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == content_ && event->type() == QEvent::LayoutRequest)
    fitWindow();  // the layout has taken the request already
  const QEvent::Type type = event->type();
  if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress || type == QEvent::DragEnter) {
    dropRefused_->hide();
    qApp->removeEventFilter(this);
  }
  return QScrollArea::eventFilter(watched, event);
}

// The window manager frames the window after it is shown, which moves it: the frame is known then.
void OptimizeContentView::moveEvent(QMoveEvent* event) {
  QScrollArea::moveEvent(event);
  fitWindow();
}

void OptimizeContentView::changeEvent(QEvent* event) {
  QScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
    followTheme();
}

// Closing during a run stops it, and the window stays until the files in hand are finished and the log
// says where the run stopped. (Destroying the window stops and waits too, for a quit that skips this.)
void OptimizeContentView::closeEvent(QCloseEvent* event) {
  event->setAccepted(!isRunning_);
  closeAfterRun_ = isRunning_;
  stop();
}
