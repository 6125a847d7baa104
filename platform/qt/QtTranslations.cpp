#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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
}
