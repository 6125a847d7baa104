#pragma once
#include "ModalDialog.h"
#include "zenuModule/src/desktop/EvalDialog.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;

// The rating dialog "评价": the movie's name, the request line, five radios.
class CQtEvalDialog final : public CModalDialog, public IEvalDialog {
 public:
  explicit CQtEvalDialog(QWidget* parent = nullptr);
  void DoModal(SEvalDlgData& data) override;

  QLabel* NameLabel() const { return m_pName; }
  QLabel* LineLabel() const { return m_pLine; }
  // By selection index: 0 is score 1.
  QRadioButton* Radio(int index) const { return m_pRadios[index]; }
  QPushButton* OkButton() const { return m_pOk; }

 private:
  QLabel* m_pName;
  QLabel* m_pLine;
  QButtonGroup* m_pGroup;
  QRadioButton* m_pRadios[5];
  QPushButton* m_pOk;
};
