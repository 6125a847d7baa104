// The installed rating and prompt dialogs.
#include "EvalDialog.h"
#include "MsgBox.h"
#include "PromptDialog.h"

namespace {
IPromptDialog* g_promptDialog = nullptr;
IMsgBox* g_msgBox = nullptr;
IEvalDialog* g_evalDialog = nullptr;
}  // namespace

IPromptDialog* PromptDialog() { return g_promptDialog; }
void SetPromptDialog(IPromptDialog* dialog) { g_promptDialog = dialog; }

IMsgBox* MsgBox() { return g_msgBox; }
void SetMsgBox(IMsgBox* dialog) { g_msgBox = dialog; }

IEvalDialog* EvalDialog() { return g_evalDialog; }
void SetEvalDialog(IEvalDialog* dialog) { g_evalDialog = dialog; }
