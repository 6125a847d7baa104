#pragma once
#include <QUrl>
#include <QWebEngineView>

#include "push/PushViews.h"

// The bulletin page of the selected movie, below the record list. The same
// address is not loaded twice; a page the server does not have shows the
// local placeholder; every page starts at its top.
class CBulletinView final : public QWebEngineView, public IBulletinView {
  Q_OBJECT

 public:
  explicit CBulletinView(QWidget* parent = nullptr);
  ~CBulletinView() override;

  void OnBulletinViewUpdate(const SBulletinViewData& data) override;
  // The address last asked for (the placeholder's stays out of it).
  const QUrl& CurrentUrl() const { return m_strCurUrl; }
  static QUrl PlaceholderUrl();

 signals:
  // A navigation ended; the page is scrolled to its top.
  void pageShown(const QUrl& url);

 private:
  void Display(const QUrl& url);

  QUrl m_strCurUrl;
  bool m_bShown = false;
};
