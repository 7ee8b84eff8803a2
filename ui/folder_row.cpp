#include "folder_row.h"

#include <QBoxLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

#include "elided_label.h"
#include "plain_button.h"
#include "text_styles.h"

FolderRow::FolderRow(const QString& label, Action choose, QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(label, this)),
      path_(new ElidedLabel(this)),
      choose_(new PlainButton(QStringLiteral("Choose\u2026"), this)) {
  setAcceptDrops(true);
  setAccessibleName(label);
  label_->setObjectName(QStringLiteral("label"));
  path_->setObjectName(QStringLiteral("path"));
  choose_->setObjectName(QStringLiteral("chooseButton"));
  choose_->setAccessibleName(QStringLiteral("Choose ") + label.toLower());
  connect(choose_, &QPushButton::clicked, this, [action = std::move(choose)] { action(); });

  auto* pathRow = new QHBoxLayout;
  pathRow->setContentsMargins(0, 0, 0, 0);
  // The style's own spacing between path and button; left unset, it would take the column's 4.
  pathRow->setSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, this));
  pathRow->addWidget(path_, 0, Qt::AlignVCenter);
  pathRow->addStretch(1);
  pathRow->addWidget(choose_, 0, Qt::AlignVCenter);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(label_);
  column->addLayout(pathRow);

  setPath(std::nullopt);
  applyStyle();
}

void FolderRow::setPath(const std::optional<QString>& path) {
  const bool hadPath = hasPath_;
  hasPath_ = path.has_value();
  path_->setFullText(path.value_or(QStringLiteral("Not selected")));
  path_->setAccessibleName(label_->text() + QStringLiteral(": ") + path_->text());
  if (hadPath != hasPath_)
    applyStyle();
}

void FolderRow::setChoosable(bool choosable) {
  choose_->setEnabled(choosable);
  setAcceptDrops(choosable);
}

void FolderRow::applyStyle() {
  label_->setFont(styledFont(TextStyle::subheadlineBold, font()));
  path_->setFont(styledFont(TextStyle::callout, font()));
  QPalette pathPalette = path_->palette();
  const QColor primary = palette().color(QPalette::WindowText);
  pathPalette.setColor(QPalette::WindowText, hasPath_ ? primary : secondaryTextColor(primary));
  path_->setPalette(pathPalette);
}

// Each part derives its styles from its own font and palette: they reach a widget only after its
// parent's change event has run.
void FolderRow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
    applyStyle();
}

std::optional<std::filesystem::path> FolderRow::droppedFolder(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls())
    return std::nullopt;
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile())
    return std::nullopt;
  const QString local = urls.front().toLocalFile();
  if (!QFileInfo(local).isDir())
    return std::nullopt;
  return std::filesystem::path(QFile::encodeName(local).toStdString());
}

void FolderRow::dragEnterEvent(QDragEnterEvent* event) {
  if (!dropHandler_ || !droppedFolder(event->mimeData()))
    return;  // not accepted: the cursor says no
  event->acceptProposedAction();
  setDropHover(true);
}

void FolderRow::dragLeaveEvent(QDragLeaveEvent*) {
  setDropHover(false);
}

void FolderRow::dropEvent(QDropEvent* event) {
  setDropHover(false);
  const auto folder = droppedFolder(event->mimeData());
  if (!dropHandler_ || !folder)
    return;
  event->acceptProposedAction();
  dropHandler_(*folder);
}

void FolderRow::setDropHover(bool hover) {
  if (dropHover_ == hover)
    return;
  dropHover_ = hover;
  update();
}

// While a folder hovers over the row, a highlight frame shows where it will land.
void FolderRow::paintEvent(QPaintEvent*) {
  if (!dropHover_)
    return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
}
