#include "BulletinView.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

#include "platform/qt/QtText.h"
#include "push/PushDoc.h"
#include "ui/web/WebViews.h"
#include "zenuModule/src/PathHelpers.h"

namespace {
constexpr int kHttpNotFound = 404;
}  // namespace

QUrl CBulletinView::PlaceholderUrl() {
  return QUrl::fromLocalFile(QStringFromGBK(GetExePath(0)) +
                             QStringLiteral("DATA/NULL_BULLETIN.HTM"));
}

CBulletinView::CBulletinView(QWidget* parent) : QWebEngineView(parent) {
  AdoptWebView(this);
  connect(page(), &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) return;
    // The stored address stays the one asked for, so the same movie is not retried.
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain &&
        info.errorCode() == kHttpNotFound) {
      load(PlaceholderUrl());
      return;
    }
    page()->runJavaScript(QStringLiteral("window.scrollTo(0, 0);"));
    emit pageShown(info.url());
  });
  CPushDoc::GetInstance()->SetBulletinView(this);
}

CBulletinView::~CBulletinView() {
  if (CPushDoc::HasInstance()) CPushDoc::GetInstance()->SetBulletinView(nullptr);
}

void CBulletinView::OnBulletinViewUpdate(const SBulletinViewData& data) {
  switch (data.iType) {
    case 0:
      Display(data.strUrl.empty() ? QUrl() : QUrl(QStringFromGBK(data.strUrl)));
      m_bShown = true;
      break;
    case 2:
      page()->runJavaScript(QStringLiteral(
          "if (typeof StartThunderDownload === 'function') { StartThunderDownload(); }"));
      break;
    default:
      break;
  }
}

void CBulletinView::Display(const QUrl& url) {
  if (m_bShown && url == m_strCurUrl) return;
  m_strCurUrl = url;
  if (url.isEmpty()) {
    // No movie selected: only the pane's background, nothing to act on.
    setHtml(QStringLiteral("<html><body style=\"background:#f4f7fb\"></body></html>"));
  } else {
    load(url);
  }
}
