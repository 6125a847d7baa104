#pragma once
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "zenuModule/src/desktop/Automation.h"

// A scripted component: the method names it knows, what its calls answer, and
// a record of every lookup and call.
struct SFakeComponent {
  struct SCall {
    DISPID id;
    bool bHasArg;
    CString strArg;
  };
  std::map<CString, DISPID> methods;
  // When set, answers every call instead of invokeResult and strResult.
  std::function<int32_t(const CString& method, const CString* arg, CString& result)> onInvoke;
  int32_t invokeResult = AUTO_S_OK;
  CString strResult;
  std::vector<CString> lookups;
  std::vector<SCall> calls;
  int iLiveObjects = 0;
  bool bAlive = true;
  CString strPeerName;
};

// Installs itself as the automation service for its lifetime.
class CFakeAutomation final : public IAutomation {
 public:
  CFakeAutomation();
  ~CFakeAutomation() override;
  CFakeAutomation(const CFakeAutomation&) = delete;
  CFakeAutomation& operator=(const CFakeAutomation&) = delete;

  int32_t CreateInstance(const CString& progId,
                         std::unique_ptr<IAutomationObject>& object) override;
  int32_t Publish(const SAutomationClass& cls,
                  std::unique_ptr<IAutomationPublication>& publication) override;
  int32_t ActivateOwner(const CString& identifier) override;
  bool GetHolder(const CString& identifier, uint32_t& pid, CString& program) override;

  // Components that can be created, by identifier.
  std::map<CString, std::shared_ptr<SFakeComponent>> components;
  int iCreates = 0;
  // Identifiers held by a process this program did not start: its pid and program.
  std::map<CString, std::pair<uint32_t, CString>> strangers;
  // Publishing: a name owned elsewhere, or a failing bus.
  bool bNameTaken = false;
  int32_t publishResult = AUTO_S_OK;
  std::vector<SAutomationClass> published;
  int iLivePublications = 0;
  std::vector<CString> activated;

 private:
  IAutomation* m_previous;
};
