#include "app/toolkit/qt/qt_open_panel.h"

#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTreeView>

namespace nimbra::ui {

namespace {

// Shows folders and the application folders among them; hides files and
// hidden entries.
class ApplicationsOnly : public QSortFilterProxyModel {
 public:
  explicit ApplicationsOnly(const ApplicationPicker& picker) : picker_(picker) {}

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
    const QModelIndex index = files->index(row, 0, parent);
    const QFileInfo info = files->fileInfo(index);
    if (info.fileName().startsWith('.')) return false;
    return info.isDir() || picker_.choosable(info.absoluteFilePath());
  }

 private:
  const ApplicationPicker& picker_;
};

}  // namespace

ApplicationPicker::ApplicationPicker(QWidget* window, const QString& prompt, const QString& start,
                                     std::vector<std::string> extensions)
    : QFileDialog(window, prompt, start), extensions_(std::move(extensions)) {
  setOption(QFileDialog::DontUseNativeDialog);
  setFileMode(QFileDialog::Directory);
  setViewMode(QFileDialog::Detail);
  setProxyModel(new ApplicationsOnly(*this));
  QStringList patterns;
  for (const std::string& extension : extensions_) patterns << QString::fromStdString("*." + extension);
  setNameFilter(QStringLiteral("Applications (%1)").arg(patterns.join(' ')));
  setLabelText(QFileDialog::Accept, prompt);
  setLabelText(QFileDialog::FileName, QStringLiteral("Application:"));
  setLabelText(QFileDialog::FileType, QStringLiteral("Show:"));
  resize(780, 500);
  // Every column as wide as what it shows, the name taking the rest; the
  // buttons without the style's icons, as the window's own buttons are.
  if (auto* list = findChild<QTreeView*>()) {
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  }
  for (QPushButton* button : findChildren<QPushButton*>()) button->setIcon(QIcon());
  // Opening an application folder (double-click, Return) chooses it instead.
  connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
    if (!choosable(folder)) return;
    chosen_ = QFileInfo(folder).absoluteFilePath();
    done(QDialog::Accepted);
  });
}

bool ApplicationPicker::choosable(const QString& path) const {
  const QFileInfo info(path);
  if (!info.isDir()) return false;
  for (const std::string& extension : extensions_) {
    if (info.suffix().compare(QString::fromStdString(extension), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

void ApplicationPicker::accept() {
  // The prompt button chooses a selected application; on a plain folder it
  // opens that folder, and with nothing selected it does nothing.
  const QStringList selected = selectedFiles();
  if (selected.isEmpty()) return;
  const QString path = selected.front();
  if (choosable(path)) {
    chosen_ = QFileInfo(path).absoluteFilePath();
    return QDialog::accept();
  }
  if (QFileInfo(path).isDir() && QFileInfo(path).absoluteFilePath() != directory().absolutePath()) setDirectory(path);
}

}  // namespace nimbra::ui
