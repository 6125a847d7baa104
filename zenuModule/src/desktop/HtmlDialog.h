#pragma once
#include "../Types.h"

class CCenterHTMLDialog;

// The window behind a page dialog. Open shows the page centred on the screen
// without blocking; a click on the page element "ButtonOK" must call
// dlg->EndDialog(1). Close removes the window.
class IHtmlDialogView {
 public:
  virtual ~IHtmlDialogView() = default;
  virtual void Open(CCenterHTMLDialog* dlg, const CString& strUrl, int iWidth, int iHeight) = 0;
  virtual void Close(CCenterHTMLDialog* dlg) = 0;
};

// The new-movie question "新电影提示"; returns IDOK or IDCANCEL.
class INewTaskDialog {
 public:
  virtual ~INewTaskDialog() = default;
  virtual int DoModal(const CString& strText) = 0;
};

// Installed once by the user-interface layer (or a test); null without a UI.
IHtmlDialogView* HtmlDialogView();
void SetHtmlDialogView(IHtmlDialogView* view);
INewTaskDialog* NewTaskDialog();
void SetNewTaskDialog(INewTaskDialog* dialog);

// A page shown in a dialog of the size its owner read from UI.ini (section =
// its name; -1000 where the file lacks it).
// Its own OK and Cancel do nothing: only the page, EndDialog, or the end of
// all dialogs close it.
class CCenterHTMLDialog final {
 public:
  CCenterHTMLDialog() = default;
  CCenterHTMLDialog(const CCenterHTMLDialog&) = delete;
  CCenterHTMLDialog& operator=(const CCenterHTMLDialog&) = delete;
  ~CCenterHTMLDialog();

  void SetInitInfo(const CString& strName, const CString& strUrl, int iWidth, int iHeight);
  // Runs a nested loop until EndDialog; returns its result (0 without a UI).
  int DoModal();
  void EndDialog(int iResult);
  bool HasWindow() const { return m_bWindow; }
  const CString& GetName() const { return m_strName; }
  const CString& GetUrl() const { return m_strUrl; }

 private:
  CString m_strName;
  CString m_strUrl;
  int m_iWidth = 0;
  int m_iHeight = 0;
  bool m_bWindow = false;
  bool m_bEnded = false;
  int m_iResult = 0;
};
