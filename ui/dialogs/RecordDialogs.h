#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/RecordDialogs.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// "删除电影提示": the question, "同时删除已下载文件" (ticked at every
// opening), "确定" and "取消".
class CQtDeleteTaskDialog final : public CModalDialog, public IDeleteTaskDialog {
 public:
  explicit CQtDeleteTaskDialog(QWidget* parent = nullptr);
  int DoModal(const CString& strQuestion, int* pbDeleteFiles) override;

  QLabel* Question() const { return m_pQuestion; }
  QCheckBox* CheckBox() const { return m_pCheck; }
  QPushButton* OkButton() const { return m_pOk; }
  QPushButton* CancelButton() const { return m_pCancel; }

 private:
  QLabel* m_pQuestion;
  QCheckBox* m_pCheck;
  QPushButton* m_pOk;
  QPushButton* m_pCancel;
};

// "请选择播放文件": the movie's files; a double click or "确定" plays one.
class CQtSelectFileDialog final : public CModalDialog, public ISelectFileDialog {
 public:
  explicit CQtSelectFileDialog(QWidget* parent = nullptr);
  int DoModal(const std::vector<CString>& arrNames, CString& strChosen) override;

  QListWidget* List() const { return m_pList; }
  QPushButton* OkButton() const { return m_pOk; }

 private:
  QListWidget* m_pList;
  QPushButton* m_pOk;
  QPushButton* m_pCancel;
};
