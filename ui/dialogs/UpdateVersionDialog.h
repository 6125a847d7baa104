#pragma once
#include <functional>

#include "ModalDialog.h"
#include "zenuModule/src/desktop/UpdateVersionDialog.h"
#include "zenuModule/src/desktop/VersionStopDialog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The update dialog "软件升级提示": versions, what is new, the download address.
class CQtUpdateVersionDialog final : public CModalDialog, public IUpdateVersionDialog {
 public:
  explicit CQtUpdateVersionDialog(QWidget* parent = nullptr);
  void DoModal(const SUpdateVersionDlgData& data,
               const std::function<void()>& onDownload) override;

  QLabel* CurrentLabel() const { return m_pCurrent; }
  QLabel* NewLabel() const { return m_pNew; }
  QPlainTextEdit* FunctionEdit() const { return m_pFunction; }
  QLabel* UrlLabel() const { return m_pUrl; }
  QPushButton* DownloadButton() const { return m_pDownload; }
  QPushButton* OkButton() const { return m_pOk; }

 private:
  QLabel* m_pCurrent;
  QLabel* m_pNew;
  QPlainTextEdit* m_pFunction;
  QLabel* m_pUrl;
  QPushButton* m_pDownload;
  QPushButton* m_pOk;
  std::function<void()> m_onDownload;
};

// The version-stop dialog "软件升级提示": the running version is retired.
class CQtVersionStopDialog final : public CModalDialog, public IVersionStopDialog {
 public:
  explicit CQtVersionStopDialog(QWidget* parent = nullptr);
  void DoModal(const SVersionStopDlgData& data,
               const std::function<void()>& onDownload) override;

  QLabel* CurrentLabel() const { return m_pCurrent; }
  QLabel* UrlLabel() const { return m_pUrl; }
  QPushButton* DownloadButton() const { return m_pDownload; }
  QPushButton* OkButton() const { return m_pOk; }

 private:
  QLabel* m_pCurrent;
  QLabel* m_pUrl;
  QPushButton* m_pDownload;
  QPushButton* m_pOk;
  std::function<void()> m_onDownload;
};
