#include "COMB.h"

#include "MainDoc.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/Platform.h"

CCOMB::CCOMB() = default;

CCOMB::~CCOMB() = default;

void CCOMB::SetX(long value) {
  OP_BEGIN("CCOMB::SetX")
  x = value;
  ShowMessageBox("x is changed!");
  OP_END
}

long CCOMB::m1() { return 0; }

long CCOMB::m2(const CString& text) {
  OP_BEGIN("CCOMB::m2")
  ShowMessageBox(StringFormat("from python: %s", text.c_str()));
  return 0;
  OP_END
}

long CCOMB::OnLocalSrvCmd(const CString& text) {
  OP_BEGIN("CCOMB::OnLocalSrvCmd")
  CMainDoc::GetInstance()->OnLocalSrvCmd(text.c_str());
  return 0;
  OP_END
}

SAutomationClass CCOMB::Describe() {
  SAutomationClass cls;
  cls.strIdentifier = kProgID;
  cls.properties.push_back({"x", [this] { return GetX(); }, [this](long v) { SetX(v); }});
  cls.methods.push_back({"m1", false, [this](const CString&) { return m1(); }});
  cls.methods.push_back({"m2", true, [this](const CString& text) { return m2(text); }});
  cls.methods.push_back(
      {"OnLocalSrvCmd", true, [this](const CString& text) { return OnLocalSrvCmd(text); }});
  cls.onActivate = [] { CMainDoc::GetInstance()->OnActivateRequest(); };
  // Commands and boxes come only from the local web server this program
  // started; "m1" does nothing and may be asked by anyone.
  cls.allowCaller = [](const CString& member, const CString& caller) {
    if (member != "OnLocalSrvCmd" && member != "m2" && member != "x") return true;
    const CString peer = CMainDoc::HasInstance()
                             ? CMainDoc::GetInstance()->GetLocalSrvDriver().GetPeerName()
                             : CString();
    return !peer.empty() && caller == peer;
  };
  return cls;
}

CCOMB::EPublish CCOMB::Publish() {
  OP_BEGIN("CCOMB::Publish")
  if (m_publication) return PUBLISHED;
  IAutomation* automation = GetAutomation();
  if (!automation) RAISE_ERROR("No automation service for %s", kProgID);
  const int32_t hr = automation->Publish(Describe(), m_publication);
  if (hr == AUTO_E_NAME_TAKEN) {
    m_publication.reset();
    automation->ActivateOwner(kProgID);
    return OTHER_INSTANCE;
  }
  if (hr < 0 || !m_publication) {
    m_publication.reset();
    RAISE_ERROR("Automation registration of %s failure.hr:%d", kProgID, static_cast<int>(hr));
  }
  return PUBLISHED;
  OP_END
}
