#include "QtFolderChooser.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QPointer>

namespace {
constexpr int kTimeColumn = 3;

// QFileSystemModel writes its times in QLocale::system(), which follows the
// environment (often "C") instead of the default locale the program sets.
class CLocalTimeFileModel final : public QIdentityProxyModel {
 public:
  explicit CLocalTimeFileModel(QObject* parent) : QIdentityProxyModel(parent) {}

  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.column() == kTimeColumn) {
      if (auto* files = qobject_cast<QFileSystemModel*>(sourceModel())) {
        const QDateTime time = files->lastModified(mapToSource(index));
        if (time.isValid()) return QLocale().toString(time, QLocale::ShortFormat);
      }
    }
    return QIdentityProxyModel::data(index, role);
  }
};
}  // namespace

QFileDialog* CreateFolderChooser(QWidget* parent, const QString& title, const QString& start) {
  auto* chooser = new QFileDialog(parent, title, start);
  chooser->setOption(QFileDialog::DontUseNativeDialog);
  chooser->setOption(QFileDialog::ShowDirsOnly);
  chooser->setFileMode(QFileDialog::Directory);
  chooser->setProxyModel(new CLocalTimeFileModel(chooser));
  return chooser;
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& start) {
  QPointer<QFileDialog> chooser = CreateFolderChooser(parent, title, start);
  QString folder;
  if (chooser->exec() == QDialog::Accepted && !chooser->selectedFiles().isEmpty())
    folder = chooser->selectedFiles().constFirst();
  delete chooser.data();
  return folder;
}
