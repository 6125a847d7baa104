#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "../Types.h"

// Automation between the client and its components: create a component by its
// identifier and call its methods by name, or publish an object of our own.
// Result codes keep COM's values, so that the logs read the same on every platform.
using DISPID = int32_t;
constexpr int32_t AUTO_S_OK = 0;
constexpr int32_t AUTO_E_FAIL = static_cast<int32_t>(0x80004005u);
constexpr int32_t AUTO_E_UNKNOWNNAME = static_cast<int32_t>(0x80020006u);
constexpr int32_t AUTO_E_MEMBERNOTFOUND = static_cast<int32_t>(0x80020003u);
constexpr int32_t AUTO_E_BADPARAMCOUNT = static_cast<int32_t>(0x8002000Eu);
constexpr int32_t AUTO_E_EXCEPTION = static_cast<int32_t>(0x80020009u);
constexpr int32_t AUTO_E_CLASSNOTREG = static_cast<int32_t>(0x80040154u);
constexpr int32_t AUTO_E_SERVER_EXEC = static_cast<int32_t>(0x80080005u);
constexpr int32_t AUTO_E_DISCONNECTED = static_cast<int32_t>(0x80010108u);
constexpr int32_t AUTO_E_TIMEOUT = static_cast<int32_t>(0x8001011Fu);
constexpr int32_t AUTO_E_NAME_TAKEN = static_cast<int32_t>(0x800700B7u);
// The identifier is held by a process this program did not start.
constexpr int32_t AUTO_E_NOT_OURS = static_cast<int32_t>(0x80070005u);

// One argument of a call that takes several: a text (GBK) or a 32-bit number,
// signed or not, so that the component sees the types it declares.
struct SAutomationArg {
  enum EKind { TEXT, INT32, UINT32 };
  EKind eKind = TEXT;
  CString strText;
  int64_t iNumber = 0;

  static SAutomationArg Text(const CString& text) { return {TEXT, text, 0}; }
  static SAutomationArg Int(int32_t value) { return {INT32, CString(), value}; }
  static SAutomationArg UInt(uint32_t value) { return {UINT32, CString(), value}; }
};

// A created component. Destroying it releases the component.
class IAutomationObject {
 public:
  virtual ~IAutomationObject() = default;
  virtual int32_t GetIDsOfNames(const CString& name, DISPID& id) = 0;
  // A method call with no argument (arg null) or one text argument; texts are GBK.
  virtual int32_t Invoke(DISPID id, const CString* arg, CString& result) = 0;
  // A method call with typed arguments; the result as Invoke gives it.
  virtual int32_t InvokeArgs(DISPID /*id*/, const std::vector<SAutomationArg>& /*args*/,
                             CString& /*result*/) {
    return AUTO_E_BADPARAMCOUNT;
  }
  // Who the component is on its transport (the only caller its callbacks may
  // come from); empty when the transport cannot tell.
  virtual CString PeerName() const { return CString(); }
  // False once the component's process has gone.
  virtual bool IsAlive() { return true; }
};

// A method of a published object: no argument or one text argument (GBK).
struct SAutomationMethod {
  CString strName;
  bool bTextArg = false;
  std::function<long(const CString& arg)> handler;
};

struct SAutomationProperty {
  CString strName;
  std::function<long()> get;
  std::function<void(long)> set;
};

// An object published under its identifier. Handlers run on the UI thread.
struct SAutomationClass {
  CString strIdentifier;
  std::vector<SAutomationMethod> methods;
  std::vector<SAutomationProperty> properties;
  // Another instance of the program asks this one to show itself.
  std::function<void()> onActivate;
  // Whether a caller (its transport name) may call a method or write a
  // property of that name; unset lets everyone. Reads and Activate are open.
  std::function<bool(const CString& member, const CString& caller)> allowCaller;
};

// Keeps an object published; destroying it withdraws the object and its name.
class IAutomationPublication {
 public:
  virtual ~IAutomationPublication() = default;
};

class IAutomation {
 public:
  virtual ~IAutomation() = default;
  // Reaches the component named progId, starting it when it is not running.
  virtual int32_t CreateInstance(const CString& progId,
                                 std::unique_ptr<IAutomationObject>& object) = 0;
  // AUTO_E_NAME_TAKEN when another process already publishes that identifier.
  virtual int32_t Publish(const SAutomationClass& cls,
                          std::unique_ptr<IAutomationPublication>& publication) = 0;
  // Asks the process publishing the identifier to show its main window.
  virtual int32_t ActivateOwner(const CString& identifier) = 0;
  // The process that holds the identifier: its id and program (GBK; empty
  // when it cannot be read). False when nobody holds it or it cannot be told.
  virtual bool GetHolder(const CString& /*identifier*/, uint32_t& /*pid*/, CString& /*program*/) {
    return false;
  }
};

// The automation service installed at start-up (or by a test); not owned.
IAutomation* GetAutomation();
void SetAutomation(IAutomation* automation);
