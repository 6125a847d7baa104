#include "InstallDialogs.h"

#include <memory>

#include "ConfigDialog.h"
#include "DownloadProgressDialog.h"
#include "EvalDialog.h"
#include "LoginDialog.h"
#include "MsgBoxDialog.h"
#include "PromptDialog.h"
#include "QtHtmlDialog.h"
#include "RecordDialogs.h"
#include "RegLoginWaitDialog.h"
#include "RegisterDialog.h"
#include "UpdateVersionDialog.h"
#include "platform/qt/QtMessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
struct SQtDialogs {
  CQtMessageBox messageBox;
  CQtLoginDialog login;
  CQtRegisterDialog registration;
  CQtRegLoginWaitDialog wait;
  CQtPromptDialog prompt;
  CQtMsgBoxDialog msgBox;
  CQtEvalDialog eval;
  CQtUpdateVersionDialog update;
  CQtVersionStopDialog versionStop;
  CQtConfigDialog config;
  CQtDownloadProgressDialog download;
  CQtHtmlDialog html;
  CQtNewTaskDialog newTask;
  CQtDeleteTaskDialog deleteTask;
  CQtSelectFileDialog selectFile;
};

std::unique_ptr<SQtDialogs> g_dialogs;

void Point(SQtDialogs* d) {
  CPlatform::SetMessageBox(d ? &d->messageBox : nullptr);
  SetLoginDialog(d ? &d->login : nullptr);
  SetRegisterDialog(d ? &d->registration : nullptr);
  SetRegLoginWaitDialog(d ? &d->wait : nullptr);
  SetPromptDialog(d ? &d->prompt : nullptr);
  SetMsgBox(d ? &d->msgBox : nullptr);
  SetEvalDialog(d ? &d->eval : nullptr);
  SetUpdateVersionDialog(d ? &d->update : nullptr);
  SetVersionStopDialog(d ? &d->versionStop : nullptr);
  SetConfigDialog(d ? &d->config : nullptr);
  SetDownloadProgressDialog(d ? &d->download : nullptr);
  SetHtmlDialogView(d ? &d->html : nullptr);
  SetNewTaskDialog(d ? &d->newTask : nullptr);
  SetDeleteTaskDialog(d ? &d->deleteTask : nullptr);
  SetSelectFileDialog(d ? &d->selectFile : nullptr);
}
}  // namespace

void InstallQtDialogs() {
  if (g_dialogs) return;
  g_dialogs = std::make_unique<SQtDialogs>();
  Point(g_dialogs.get());
}

void UninstallQtDialogs() {
  if (!g_dialogs) return;
  Point(nullptr);
  g_dialogs.reset();
}
