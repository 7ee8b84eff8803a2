#include "folder_row.h"

#include <QBoxLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

namespace {

// Why `urls` is not the one local folder a row takes; empty where it is.
QString whyNotOneFolder(const QList<QUrl>& urls) {
  if (urls.size() > 1)
    return QStringLiteral("Drop one folder at a time.");
  if (urls.isEmpty() || !urls.front().isLocalFile())
    return QStringLiteral("Only a folder on this computer can be dropped here.");
  const QFileInfo dropped(urls.front().toLocalFile());
  if (!dropped.exists())
    return QStringLiteral("The dropped folder no longer exists.");
  return dropped.isDir() ? QString() : QStringLiteral("Only a folder can be dropped here, not a file.");
}

}  // namespace

FolderRow::FolderRow(const QString& label, QWidget* parent)
    : QWidget(parent),
      path_(new QLabel(this)),
      choose_(new QPushButton(QStringLiteral("Choose\u2026"), this)) {
  setAcceptDrops(true);
  setAccessibleName(label);
  auto* title = new QLabel(label, this);
  title->setObjectName(QStringLiteral("label"));
  QFont bold;  // only the weight: the size follows the desktop's font
  bold.setBold(true);
  title->setFont(bold);
  path_->setObjectName(QStringLiteral("path"));
  path_->setTextFormat(Qt::PlainText);
  // The path takes whatever the button leaves, and is shortened to fit it.
  path_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  choose_->setObjectName(QStringLiteral("chooseButton"));
  choose_->setAccessibleName(QStringLiteral("Choose ") + label.toLower());
  choose_->setAutoDefault(true);  // outside a dialog, the flag that makes Enter click the focused button
  connect(choose_, &QPushButton::clicked, this, &FolderRow::chooseRequested);

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(choose_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(title);
  column->addLayout(pathRow);
  setPath(std::nullopt);
}

void FolderRow::setPath(const std::optional<QString>& path) {
  fullPath_ = path.value_or(QStringLiteral("Not selected"));
  path_->setForegroundRole(path ? QPalette::WindowText : QPalette::PlaceholderText);
  path_->setAccessibleName(accessibleName() + QStringLiteral(": ") + fullPath_);
  showPath();
}

void FolderRow::setChoosable(bool choosable) {
  choose_->setEnabled(choosable);
  setAcceptDrops(choosable);
}

// Shortened in the middle, so that both the beginning and the end of a path stay visible.
void FolderRow::showPath() {
  const QString shown = path_->fontMetrics().elidedText(fullPath_, Qt::ElideMiddle, path_->width());
  path_->setText(shown);
  const QString whole = shown == fullPath_ ? QString() : fullPath_;
  path_->setToolTip(whole);
  path_->setAccessibleDescription(whole);
}

void FolderRow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  showPath();  // the layout has already given the path its new width
}

void FolderRow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    showPath();
}

// Whatever is dragged here is let through to the drop, which takes one folder or says why it does not.
void FolderRow::dragEnterEvent(QDragEnterEvent* event) {
  event->acceptProposedAction();
}

void FolderRow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();  // none where it has only text
  if (const QString why = whyNotOneFolder(urls); !why.isEmpty()) {
    event->ignore();
    emit dropRefused(why);
    return;
  }
  event->acceptProposedAction();
  emit folderDropped(std::filesystem::path(QFile::encodeName(urls.front().toLocalFile()).toStdString()));
}
