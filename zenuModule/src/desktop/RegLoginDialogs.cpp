#include "LoginDialog.h"
#include "RegLoginWaitDialog.h"
#include "RegisterDialog.h"

namespace {
ILoginDialog* g_loginDialog = nullptr;
IRegisterDialog* g_registerDialog = nullptr;
IRegLoginWaitDialog* g_waitDialog = nullptr;
}  // namespace

ILoginDialog* LoginDialog() { return g_loginDialog; }
void SetLoginDialog(ILoginDialog* dialog) { g_loginDialog = dialog; }

IRegisterDialog* RegisterDialog() { return g_registerDialog; }
void SetRegisterDialog(IRegisterDialog* dialog) { g_registerDialog = dialog; }

IRegLoginWaitDialog* RegLoginWaitDialog() { return g_waitDialog; }
void SetRegLoginWaitDialog(IRegLoginWaitDialog* dialog) { g_waitDialog = dialog; }
