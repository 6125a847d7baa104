#pragma once
#include <deque>
#include <functional>
#include <vector>

#include "zenuModule/src/desktop/EvalDialog.h"
#include "zenuModule/src/desktop/MsgBox.h"
#include "zenuModule/src/desktop/PromptDialog.h"

// The three prompt and rating dialogs, installed while they live. Each records
// what it shows, runs whileOpen as the nested loop of a modal dialog would, and
// ends as its script says.
class CScriptedPromptDialog final : public IPromptDialog {
 public:
  CScriptedPromptDialog();
  ~CScriptedPromptDialog() override;
  // IDOK when the script runs dry.
  int DoModal(const SPromptDlgData& data) override;

  std::vector<SPromptDlgData> shown;
  std::deque<int> results;
  std::function<void()> whileOpen;

 private:
  IPromptDialog* m_previous;
};

class CScriptedMsgBox final : public IMsgBox {
 public:
  CScriptedMsgBox();
  ~CScriptedMsgBox() override;
  void DoModal(const SMsgBoxData& data) override;

  std::vector<SMsgBoxData> shown;
  std::function<void()> whileOpen;

 private:
  IMsgBox* m_previous;
};

class CScriptedEvalDialog final : public IEvalDialog {
 public:
  CScriptedEvalDialog();
  ~CScriptedEvalDialog() override;
  // Leaves the selection unchanged when the script runs dry.
  void DoModal(SEvalDlgData& data) override;

  std::vector<SEvalDlgData> shown;
  std::deque<int> selections;
  std::function<void()> whileOpen;

 private:
  IEvalDialog* m_previous;
};
