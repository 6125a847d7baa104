#include "ConfigDialog.h"

namespace {
IConfigDialog* g_dialog = nullptr;
}  // namespace

IConfigDialog* GetConfigDialog() { return g_dialog; }
void SetConfigDialog(IConfigDialog* dialog) { g_dialog = dialog; }
