#pragma once
#include <QString>
#include <functional>

#include "ModalDialog.h"
#include "zenuModule/src/desktop/ConfigDialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The settings dialog "程序设置". It holds a copy of the values: "确定" and the
// folder choice take the controls into it, "取消" and "设置电影推送方式" leave it.
class CQtConfigDialog final : public CModalDialog, public IConfigDialog {
 public:
  // Asks for a folder (title, start folder); an empty answer means none chosen.
  using FolderChooser = std::function<QString(QWidget*, const QString&, const QString&)>;

  explicit CQtConfigDialog(QWidget* parent = nullptr);
  SConfigDlgOutcome Run(SConfigDlgValues& values) override;

  // The system's folder chooser unless replaced (tests).
  void SetFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }

  QCheckBox* AutoLoginBox() const { return m_pAutoLogin; }
  QCheckBox* AutoStartBox() const { return m_pAutoStart; }
  QLineEdit* ServerEdit() const { return m_pServer; }
  QLabel* DownloadManagerLabel() const { return m_pManager; }
  QCheckBox* AutoDownloadBox() const { return m_pAutoDownload; }
  QLineEdit* SaveasEdit() const { return m_pSaveas; }
  QPushButton* ChooseFolderButton() const { return m_pChoose; }
  QLineEdit* EvalDaysEdit() const { return m_pEvalDays; }
  QCheckBox* ShareBox() const { return m_pShare; }
  QSpinBox* UploadLimitBox() const { return m_pUploadLimit; }
  QSpinBox* MaxSharedBox() const { return m_pMaxShared; }
  QPushButton* PushMethodButton() const { return m_pPushMethod; }
  QPushButton* OkButton() const { return m_pOk; }
  QPushButton* CancelButton() const { return m_pCancel; }

 private:
  void ShowValues();
  // False (after telling the user) when a control holds a value that cannot be taken.
  bool TakeValues();
  void OnChooseFolder();

  QCheckBox* m_pAutoLogin;
  QCheckBox* m_pAutoStart;
  QLineEdit* m_pServer;
  QLabel* m_pManager;
  QCheckBox* m_pAutoDownload;
  QLineEdit* m_pSaveas;
  QPushButton* m_pChoose;
  QLineEdit* m_pEvalDays;
  QCheckBox* m_pShare;
  QSpinBox* m_pUploadLimit;
  QSpinBox* m_pMaxShared;
  QPushButton* m_pPushMethod;
  QPushButton* m_pOk;
  QPushButton* m_pCancel;
  FolderChooser m_chooser;
  SConfigDlgValues m_values;
  bool m_bSetPushMethod = false;
};
