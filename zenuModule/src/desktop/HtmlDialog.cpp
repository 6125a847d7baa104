#include "HtmlDialog.h"

#include "MessageLoop.h"
#include "Platform.h"
#include "zenuModule/src/OperationWrapper.h"

namespace {
IHtmlDialogView* g_view = nullptr;
INewTaskDialog* g_newTask = nullptr;
}  // namespace

IHtmlDialogView* HtmlDialogView() { return g_view; }
void SetHtmlDialogView(IHtmlDialogView* view) { g_view = view; }
INewTaskDialog* NewTaskDialog() { return g_newTask; }
void SetNewTaskDialog(INewTaskDialog* dialog) { g_newTask = dialog; }

CCenterHTMLDialog::~CCenterHTMLDialog() {
  if (m_bWindow && g_view) g_view->Close(this);
}

void CCenterHTMLDialog::SetInitInfo(const CString& strName, const CString& strUrl, int iWidth,
                                    int iHeight) {
  m_strName = strName;
  m_strUrl = strUrl;
  m_iWidth = iWidth;
  m_iHeight = iHeight;
}

int CCenterHTMLDialog::DoModal() {
  OP_BEGIN("CCenterHTMLDialog::DoModal")
  if (m_iWidth == -1000 || m_iHeight == -1000) RAISE_ERROR("读取UI.ini文件失败");
  if (!g_view || !CPlatform::Loop()) return 0;
  m_bEnded = false;
  m_iResult = 0;
  m_bWindow = true;
  g_view->Open(this, m_strUrl, m_iWidth, m_iHeight);
  CPlatform::Loop()->RunModal([this] { return m_bEnded; });
  if (m_bWindow) {
    m_bWindow = false;
    g_view->Close(this);
  }
  return m_iResult;
  OP_END
}

void CCenterHTMLDialog::EndDialog(int iResult) {
  if (!m_bWindow) return;
  m_iResult = iResult;
  m_bEnded = true;
}
