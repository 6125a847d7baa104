#include "QtHtmlDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include "platform/qt/QtText.h"
#include "ui/web/WebViews.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
// The pages add "ButtonOK" late, so one capturing listener on the document
// sees clicks on it whenever it appears.
const char kMarker[] = "vadeko-dialog:ButtonOK";
const char kWatchScript[] =
    "document.addEventListener('click', function (e) {"
    "  var t = e.target;"
    "  if (t && t.closest && t.closest('#ButtonOK')) console.log('vadeko-dialog:ButtonOK');"
    "}, true);";

// A page slower than this shows its window anyway, with what it has.
constexpr int kRevealWaitMs = 3000;

const char kCloseScript[] =
    "(function(){var b=document.getElementById('ButtonOK');"
    "if(b&&b.getAttribute('data-keep'))b.click();})()";

// The dialog belongs to the program's window so that raising that window
// does not bury it.
QWidget* OwnerWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(w) && w->isVisible()) return w;
  }
  return nullptr;
}
}  // namespace

CHtmlDialogPage::CHtmlDialogPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
  QWebEngineScript script;
  script.setName(QStringLiteral("vadeko-buttonok"));
  script.setSourceCode(QString::fromLatin1(kWatchScript));
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::ApplicationWorld);
  script.setRunsOnSubFrames(false);
  scripts().insert(script);
}

void CHtmlDialogPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel,
                                               const QString& message, int, const QString&) {
  if (message == QLatin1String(kMarker)) emit buttonOkClicked();
}

CHtmlDialogWindow::CHtmlDialogWindow(QWidget* parent) : QDialog(parent) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_pView = new QWebEngineView(this);
  auto* page = new CHtmlDialogPage(SharedWebProfile(), m_pView);
  AdoptWebView(m_pView, page);
  layout->addWidget(m_pView);
  connect(page, &CHtmlDialogPage::buttonOkClicked, this, &CHtmlDialogWindow::buttonOkClicked);
  connect(page, &QWebEnginePage::titleChanged, this, &QWidget::setWindowTitle);
}

void CHtmlDialogWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  // Only the page ends the dialog. A page that may be left as it is marks its
  // OK button so; closing the window then means that button.
  m_pView->page()->runJavaScript(QString::fromLatin1(kCloseScript));
}

CQtHtmlDialog::~CQtHtmlDialog() {
  for (auto& entry : m_windows) delete entry.second.data();
}

void CQtHtmlDialog::Open(CCenterHTMLDialog* dlg, const CString& strUrl, int iWidth, int iHeight) {
  Close(dlg);
  QWidget* owner = OwnerWindow();
  if (owner) owner->installEventFilter(this);
  auto* window = new CHtmlDialogWindow(owner);
  window->setWindowFlag(Qt::Dialog, true);
  m_windows[dlg] = window;
  QObject::connect(window, &CHtmlDialogWindow::buttonOkClicked, window, [this, dlg] {
    if (m_windows.count(dlg)) dlg->EndDialog(IDOK);
  });
  const QRect screen = QGuiApplication::primaryScreen()
                           ? QGuiApplication::primaryScreen()->geometry()
                           : QRect(0, 0, iWidth, iHeight);
  window->setGeometry((screen.width() - iWidth) / 2, (screen.height() - iHeight) / 2, iWidth,
                      iHeight);
  // Shown once its page is there (or after a bounded wait), not as an empty
  // window titled with the program's name.
  auto reveal = [this, dlg, window] {
    if (Window(dlg) != window || window->isVisible()) return;
    window->show();
    window->raise();
    window->activateWindow();
  };
  QObject::connect(window->View(), &QWebEngineView::loadFinished, window, reveal);
  QTimer::singleShot(kRevealWaitMs, window, reveal);
  window->View()->load(QUrl(QStringFromGBK(strUrl)));
}

void CQtHtmlDialog::Close(CCenterHTMLDialog* dlg) {
  auto it = m_windows.find(dlg);
  if (it == m_windows.end()) return;
  CHtmlDialogWindow* window = it->second.data();
  m_windows.erase(it);
  if (!window) return;
  window->hide();
  // The close may come from inside the page's own signal.
  window->deleteLater();
}

bool CQtHtmlDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ZOrderChange) {
    for (auto& entry : m_windows) {
      if (entry.second && entry.second->isVisible()) entry.second->raise();
    }
  }
  return QObject::eventFilter(watched, event);
}

CHtmlDialogWindow* CQtHtmlDialog::Window(CCenterHTMLDialog* dlg) const {
  auto it = m_windows.find(dlg);
  return it == m_windows.end() ? nullptr : it->second.data();
}

CQtNewTaskDialog::CQtNewTaskDialog(QWidget* parent) : CModalDialog(false, parent) {
  setWindowTitle(QStringLiteral("新电影提示"));
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(16);
  m_pText = new QLabel;
  m_pText->setTextFormat(Qt::PlainText);
  m_pText->setWordWrap(true);
  m_pText->setMinimumWidth(300);
  layout->addWidget(m_pText, 1);
  auto* row = ButtonRow();
  QPushButton* ok = AddButton(row, QStringLiteral("确定"), true);
  QPushButton* cancel = AddButton(row, QStringLiteral("取消"));
  layout->addLayout(row);
  connect(ok, &QPushButton::clicked, this, [this] { Finish(IDOK); });
  connect(cancel, &QPushButton::clicked, this, [this] { Finish(IDCANCEL); });
}

int CQtNewTaskDialog::DoModal(const CString& strText) {
  BeginRun();
  m_pText->setText(QStringFromGBK(strText));
  adjustSize();
  return RunModal();
}
