#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

class ElidedLabel;
class QLabel;
class QMimeData;
class QPushButton;

// One folder of the window: its label, the chosen path (or "Not selected") and a "Choose…" button. A
// single folder dragged from the file manager and dropped on the row counts as a choice too.
class FolderRow : public QWidget {
  Q_OBJECT

 public:
  using Action = std::function<void()>;
  using FolderHandler = std::function<void(const std::filesystem::path&)>;

  FolderRow(const QString& label, Action choose, QWidget* parent = nullptr);

  // nullopt shows "Not selected" in the secondary colour.
  void setPath(const std::optional<QString>& path);
  void setDropHandler(FolderHandler handler) { dropHandler_ = std::move(handler); }
  // Whether a folder can be chosen now, with the button or by a drop; the path stays readable either way.
  void setChoosable(bool choosable);

  // The one local folder that `data` carries, or nullopt for files, several items or non-local URLs.
  static std::optional<std::filesystem::path> droppedFolder(const QMimeData* data);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void applyStyle();
  void setDropHover(bool hover);

  QLabel* label_;
  ElidedLabel* path_;
  QPushButton* choose_;
  FolderHandler dropHandler_;
  bool hasPath_ = false;
  bool dropHover_ = false;
};
