#include "ScriptedPromptDialogs.h"

#include "zenuModule/src/desktop/MessageBox.h"

CScriptedPromptDialog::CScriptedPromptDialog() : m_previous(PromptDialog()) {
  SetPromptDialog(this);
}
CScriptedPromptDialog::~CScriptedPromptDialog() { SetPromptDialog(m_previous); }

int CScriptedPromptDialog::DoModal(const SPromptDlgData& data) {
  shown.push_back(data);
  if (whileOpen) whileOpen();
  if (results.empty()) return IDOK;
  const int result = results.front();
  results.pop_front();
  return result;
}

CScriptedMsgBox::CScriptedMsgBox() : m_previous(MsgBox()) { SetMsgBox(this); }
CScriptedMsgBox::~CScriptedMsgBox() { SetMsgBox(m_previous); }

void CScriptedMsgBox::DoModal(const SMsgBoxData& data) {
  shown.push_back(data);
  if (whileOpen) whileOpen();
}

CScriptedEvalDialog::CScriptedEvalDialog() : m_previous(EvalDialog()) { SetEvalDialog(this); }
CScriptedEvalDialog::~CScriptedEvalDialog() { SetEvalDialog(m_previous); }

void CScriptedEvalDialog::DoModal(SEvalDlgData& data) {
  shown.push_back(data);
  if (whileOpen) whileOpen();
  if (selections.empty()) return;
  data.iSelection = selections.front();
  selections.pop_front();
}
