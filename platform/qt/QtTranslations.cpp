#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
// Texts Qt's catalogue leaves untranslated: the kinds shown in the folder
// chooser's "类型" column.
class CMissingQtTexts final : public QTranslator {
 public:
  explicit CMissingQtTexts(QObject* parent) : QTranslator(parent) {}

  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override {
    Q_UNUSED(disambiguation);
    Q_UNUSED(n);
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0 || sourceText == nullptr) return {};
    if (qstrcmp(sourceText, "Folder") == 0 || qstrcmp(sourceText, "File Folder") == 0)
      return QStringLiteral("文件夹");
    if (qstrcmp(sourceText, "Drive") == 0) return QStringLiteral("驱动器");
    if (qstrcmp(sourceText, "Alias") == 0 || qstrcmp(sourceText, "Shortcut") == 0)
      return QStringLiteral("快捷方式");
    return {};
  }

  bool isEmpty() const override { return false; }
};
}  // namespace

void InstallQtTranslations() {
  QLocale locale = QLocale::system();
  if (locale.language() != QLocale::Chinese) locale = QLocale(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(locale);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* catalogue : {"qtbase", "qtwebengine"}) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(locale, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)) {
      QCoreApplication::installTranslator(translator);
    } else {
      delete translator;
    }
  }
  if (locale.territory() != QLocale::Taiwan && locale.territory() != QLocale::HongKong &&
      locale.territory() != QLocale::Macau)
    QCoreApplication::installTranslator(new CMissingQtTexts(QCoreApplication::instance()));
}
