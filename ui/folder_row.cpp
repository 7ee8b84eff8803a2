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

// The one local folder that `data` carries, or nullopt for files, several items or non-local URLs.
std::optional<std::filesystem::path> droppedFolder(const QMimeData* data) {
  const QList<QUrl> urls = data != nullptr ? data->urls() : QList<QUrl>();  // none where it has only text
  if (urls.size() != 1 || !urls.front().isLocalFile() || !QFileInfo(urls.front().toLocalFile()).isDir())
    return std::nullopt;
  return std::filesystem::path(QFile::encodeName(urls.front().toLocalFile()).toStdString());
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

void FolderRow::dragEnterEvent(QDragEnterEvent* event) {
  if (droppedFolder(event->mimeData()))
    event->acceptProposedAction();  // otherwise the cursor says no
}

void FolderRow::dropEvent(QDropEvent* event) {
  if (const auto folder = droppedFolder(event->mimeData())) {
    event->acceptProposedAction();
    emit folderDropped(*folder);
  }
}
