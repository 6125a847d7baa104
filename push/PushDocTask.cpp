#include "push/PushDoc.h"

#include "store/IntfDB.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"

void CPushDoc::ReceiveNewTask2(const Json::Value&) {}
void CPushDoc::OnRequestRecordStatus(int, int) {}
void CPushDoc::EndCalcDlg(int) {}
void CPushDoc::InitFrame(BOOL) {}
void CPushDoc::CheckPushMethod(BOOL) {}
void CPushDoc::StartRequesting(const CString&, int) {}
void CPushDoc::EndAllHTMLDialog() {}
BOOL CPushDoc::IsAllHTMLDlgEnd() { return TRUE; }
void CPushDoc::RequestNewMovie() {}
void CPushDoc::AfterCheckPushMethod(int) {}
void CPushDoc::DisplayCalcDlg() {}
int CPushDoc::ReceiveNewTask(const CString&) { return 0; }
void CPushDoc::ProcessPushInfo() {}
void CPushDoc::ChangeToNewTask(BOOL) {}
void CPushDoc::OnEvalDocEvent(int, uint32_t) {}
void CPushDoc::OnConfigDlgEvent(int) {}
int CPushDoc::OnIntfScheduleControlEvent(int, CString*) { return 0; }
void CPushDoc::OnIntfUpdateControlEvent(int) {}
