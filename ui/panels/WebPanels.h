#pragma once
#include <QString>
#include <QUrl>
#include <QWebEngineView>

#include "zenuModule/src/Types.h"

// The pages of the three web panes.
QUrl HelpPageUrl(const CString& gbkProgramFolder);
QUrl SearchPageUrl(const CString& localSrvBaseUrl);
QUrl FriendPageUrl(const CString& localSrvBaseUrl);

// A pane that shows one page and fills its frame.
class CWebPanelView final : public QWebEngineView {
  Q_OBJECT

 public:
  enum EKind { kSearch, kFriend, kHelp };

  explicit CWebPanelView(EKind kind, QWidget* parent = nullptr);
  EKind Kind() const { return m_kind; }
  // The page of this pane with the values of the running program.
  QUrl PageUrl() const;
  // The HTTP status of the last failed load (404...), -1 for a failure of
  // another kind, 0 after a successful load.
  int LastHttpError() const { return m_iLastHttpError; }

  // Calls a global function of the page with string arguments in order.
  void RunScript(const QString& function, const QStringList& params,
                 const std::function<void(const QVariant&)>& done = {});

 private:
  EKind m_kind;
  int m_iLastHttpError = 0;
};
