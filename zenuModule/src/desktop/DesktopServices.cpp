// The installed desktop services beyond the loop and the message box.
#include "DownloadProgressDialog.h"
#include "NetworkSense.h"
#include "RecordDialogs.h"
#include "Shell.h"
#include "UpdateVersionDialog.h"
#include "VersionStopDialog.h"

namespace {
INetworkSense* g_networkSense = nullptr;
IShell* g_shell = nullptr;
IDownloadProgressDialog* g_downloadDialog = nullptr;
IUpdateVersionDialog* g_updateDialog = nullptr;
IVersionStopDialog* g_versionStopDialog = nullptr;
IDeleteTaskDialog* g_deleteTaskDialog = nullptr;
ISelectFileDialog* g_selectFileDialog = nullptr;
}  // namespace

INetworkSense& NetworkSense() { return g_networkSense ? *g_networkSense : SystemNetworkSense(); }
void SetNetworkSense(INetworkSense* sense) { g_networkSense = sense; }

IShell& Shell() { return g_shell ? *g_shell : SystemShell(); }
void SetShell(IShell* shell) { g_shell = shell; }

IDownloadProgressDialog* DownloadProgressDialog() { return g_downloadDialog; }
void SetDownloadProgressDialog(IDownloadProgressDialog* dialog) { g_downloadDialog = dialog; }

IUpdateVersionDialog* UpdateVersionDialog() { return g_updateDialog; }
void SetUpdateVersionDialog(IUpdateVersionDialog* dialog) { g_updateDialog = dialog; }

IVersionStopDialog* VersionStopDialog() { return g_versionStopDialog; }
void SetVersionStopDialog(IVersionStopDialog* dialog) { g_versionStopDialog = dialog; }

IDeleteTaskDialog* DeleteTaskDialog() { return g_deleteTaskDialog; }
void SetDeleteTaskDialog(IDeleteTaskDialog* dialog) { g_deleteTaskDialog = dialog; }

ISelectFileDialog* SelectFileDialog() { return g_selectFileDialog; }
void SetSelectFileDialog(ISelectFileDialog* dialog) { g_selectFileDialog = dialog; }
