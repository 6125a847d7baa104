#include "WebViews.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {
// Hands a hidden view's page to Chromium to drop; a page is made active (and
// reloaded) again by Qt as soon as it is visible.
class CDiscardWhenHidden final : public QObject {
 public:
  explicit CDiscardWhenHidden(QWebEngineView* view) : QObject(view), m_view(view) {
    view->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_view && event->type() == QEvent::Hide) {
      // Only once the page itself knows it is hidden may it be discarded.
      QTimer::singleShot(0, this, [view = m_view] {
        if (!view || view->isVisible()) return;
        QWebEnginePage* page = view->page();
        if (page && page->lifecycleState() != QWebEnginePage::LifecycleState::Discarded &&
            !page->url().isEmpty()) {
          page->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
        }
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QWebEngineView> m_view;
};
}  // namespace

void PrepareWebEngine() {
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (!flags.contains("--renderer-process-limit")) {
    flags += QByteArray(flags.isEmpty() ? "" : " ") + "--renderer-process-limit=1";
  }
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

QWebEngineProfile* SharedWebProfile() {
  static QPointer<QWebEngineProfile> profile;
  if (!profile) {
    // No storage name: off the record, so nothing is written below the home folder.
    profile = new QWebEngineProfile(QCoreApplication::instance());
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setHttpCacheMaximumSize(4 * 1024 * 1024);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  }
  return profile;
}

void AdoptWebView(QWebEngineView* view, QWebEnginePage* page) {
  view->setPage(page ? page : new QWebEnginePage(SharedWebProfile(), view));
  new CDiscardWhenHidden(view);
}

QWebEngineView* CreateWebView(QWidget* parent) {
  auto* view = new QWebEngineView(parent);
  AdoptWebView(view);
  return view;
}
