#include "Automation.h"

namespace {
IAutomation* g_automation = nullptr;
}  // namespace

IAutomation* GetAutomation() { return g_automation; }
void SetAutomation(IAutomation* automation) { g_automation = automation; }
