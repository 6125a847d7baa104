#include "FakeAutomation.h"

namespace {
class CFakeObject final : public IAutomationObject {
 public:
  explicit CFakeObject(std::shared_ptr<SFakeComponent> component)
      : m_component(std::move(component)) {
    ++m_component->iLiveObjects;
  }
  ~CFakeObject() override { --m_component->iLiveObjects; }

  int32_t GetIDsOfNames(const CString& name, DISPID& id) override {
    m_component->lookups.push_back(name);
    const auto it = m_component->methods.find(name);
    if (it == m_component->methods.end()) return AUTO_E_UNKNOWNNAME;
    id = it->second;
    return AUTO_S_OK;
  }

  int32_t Invoke(DISPID id, const CString* arg, CString& result) override {
    m_component->calls.push_back({id, arg != nullptr, arg ? *arg : CString()});
    if (m_component->onInvoke) {
      CString name;
      for (const auto& m : m_component->methods)
        if (m.second == id) name = m.first;
      return m_component->onInvoke(name, arg, result);
    }
    if (m_component->invokeResult < 0) return m_component->invokeResult;
    result = m_component->strResult;
    return m_component->invokeResult;
  }
  CString PeerName() const override { return m_component->strPeerName; }
  bool IsAlive() override { return m_component->bAlive; }

 private:
  std::shared_ptr<SFakeComponent> m_component;
};

class CFakePublication final : public IAutomationPublication {
 public:
  explicit CFakePublication(int& live) : m_live(live) { ++m_live; }
  ~CFakePublication() override { --m_live; }

 private:
  int& m_live;
};
}  // namespace

CFakeAutomation::CFakeAutomation() : m_previous(GetAutomation()) { SetAutomation(this); }

CFakeAutomation::~CFakeAutomation() { SetAutomation(m_previous); }

int32_t CFakeAutomation::CreateInstance(const CString& progId,
                                        std::unique_ptr<IAutomationObject>& object) {
  ++iCreates;
  if (strangers.count(progId) != 0) return AUTO_E_NOT_OURS;
  const auto it = components.find(progId);
  if (it == components.end()) return AUTO_E_CLASSNOTREG;
  object = std::make_unique<CFakeObject>(it->second);
  return AUTO_S_OK;
}

int32_t CFakeAutomation::Publish(const SAutomationClass& cls,
                                 std::unique_ptr<IAutomationPublication>& publication) {
  published.push_back(cls);
  if (bNameTaken) return AUTO_E_NAME_TAKEN;
  if (publishResult < 0) return publishResult;
  publication = std::make_unique<CFakePublication>(iLivePublications);
  return AUTO_S_OK;
}

int32_t CFakeAutomation::ActivateOwner(const CString& identifier) {
  activated.push_back(identifier);
  return AUTO_S_OK;
}

bool CFakeAutomation::GetHolder(const CString& identifier, uint32_t& pid, CString& program) {
  const auto it = strangers.find(identifier);
  if (it == strangers.end()) return false;
  pid = it->second.first;
  program = it->second.second;
  return true;
}
