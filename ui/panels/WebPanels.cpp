#include "WebPanels.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

#include "platform/qt/QtText.h"
#include "ui/web/WebViews.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"

QUrl HelpPageUrl(const CString& gbkProgramFolder) {
  QString folder = QStringFromGBK(gbkProgramFolder);
  folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
  // A POSIX folder already starts with "/": a file URL built by pasting it
  // after "file:///" would name a different path.
  return QUrl::fromLocalFile(folder + QStringLiteral("help/index.html"));
}

QUrl SearchPageUrl(const CString& localSrvBaseUrl) {
  return QUrl(QStringFromGBK(localSrvBaseUrl) + QStringLiteral("/search_home.html"));
}

QUrl FriendPageUrl(const CString& localSrvBaseUrl) {
  return QUrl(QStringFromGBK(localSrvBaseUrl) + QStringLiteral("/friend_search.html"));
}

CWebPanelView::CWebPanelView(EKind kind, QWidget* parent) : QWebEngineView(parent), m_kind(kind) {
  AdoptWebView(this);
  connect(page(), &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) m_iLastHttpError = 0;
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
      m_iLastHttpError =
          info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain ? info.errorCode() : -1;
    }
  });
}

QUrl CWebPanelView::PageUrl() const {
  switch (m_kind) {
    case kSearch:
      return SearchPageUrl(CProcessValues::GetLocalSrvBaseUrl());
    case kFriend:
      return FriendPageUrl(CProcessValues::GetLocalSrvBaseUrl());
    case kHelp:
      break;
  }
  return HelpPageUrl(GetExePath(0));
}

void CWebPanelView::RunScript(const QString& function, const QStringList& params,
                              const std::function<void(const QVariant&)>& done) {
  // JSON quoting keeps any text a valid string literal of the script.
  const QString args = QString::fromUtf8(
      QJsonDocument(QJsonArray::fromStringList(params)).toJson(QJsonDocument::Compact));
  const QString script =
      QStringLiteral(
          "(function(){var f=window[%1];if(typeof f!=='function')"
          "return {error:'JSCall Error:\\n'+%1+' is undefined'};"
          "return f.apply(window,%2);})()")
          .arg(QString::fromUtf8(QJsonDocument(QJsonArray{function}).toJson(QJsonDocument::Compact))
                   .mid(1)
                   .chopped(1),
               args);
  if (done) {
    page()->runJavaScript(script, done);
  } else {
    page()->runJavaScript(script);
  }
}
