#pragma once
#include <QDialog>
#include <QPointer>
#include <QWebEnginePage>
#include <map>

#include "ModalDialog.h"
#include "zenuModule/src/desktop/HtmlDialog.h"

class QLabel;
class QWebEngineView;

// A page that reports a click on its "ButtonOK" element.
class CHtmlDialogPage final : public QWebEnginePage {
  Q_OBJECT

 public:
  CHtmlDialogPage(QWebEngineProfile* profile, QObject* parent);

 signals:
  void buttonOkClicked();

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int line, const QString& source) override;
};

// The window of one page dialog. Only the page (or the core) ends it: Escape
// is ignored, and the close box only works where the page allows leaving it.
class CHtmlDialogWindow final : public QDialog {
  Q_OBJECT

 public:
  explicit CHtmlDialogWindow(QWidget* parent = nullptr);
  QWebEngineView* View() const { return m_pView; }

 signals:
  void buttonOkClicked();

 protected:
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;

 private:
  QWebEngineView* m_pView;
};

// Opens each page dialog in its own window, sized and centred as told, and
// keeps it above the program's window when that one is raised.
class CQtHtmlDialog final : public QObject, public IHtmlDialogView {
 public:
  CQtHtmlDialog() = default;
  ~CQtHtmlDialog() override;
  CQtHtmlDialog(const CQtHtmlDialog&) = delete;
  CQtHtmlDialog& operator=(const CQtHtmlDialog&) = delete;

  void Open(CCenterHTMLDialog* dlg, const CString& strUrl, int iWidth, int iHeight) override;
  void Close(CCenterHTMLDialog* dlg) override;

  // The window of an open dialog, null when it has none.
  CHtmlDialogWindow* Window(CCenterHTMLDialog* dlg) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::map<CCenterHTMLDialog*, QPointer<CHtmlDialogWindow>> m_windows;
};

// The new-movie question "新电影提示".
class CQtNewTaskDialog final : public CModalDialog, public INewTaskDialog {
 public:
  explicit CQtNewTaskDialog(QWidget* parent = nullptr);
  int DoModal(const CString& strText) override;
  QLabel* TextLabel() const { return m_pText; }

 private:
  QLabel* m_pText;
};
