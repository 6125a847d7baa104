#pragma once
#include <memory>

#include "zenuModule/src/Types.h"
#include "zenuModule/src/desktop/Automation.h"

// The program's own automation object "zenu.Orvex": the local web server
// component drives the client through its "OnLocalSrvCmd". Owning the name is
// also what keeps the program to one instance.
class CCOMB final {
 public:
  static constexpr const char* kProgID = "zenu.Orvex";

  CCOMB();
  ~CCOMB();
  CCOMB(const CCOMB&) = delete;
  CCOMB& operator=(const CCOMB&) = delete;

  enum EPublish { PUBLISHED, OTHER_INSTANCE };
  // OTHER_INSTANCE: another process owns the name and was asked to show its
  // window; this one should end. Raises when there is no automation at all.
  EPublish Publish();
  bool IsPublished() const { return static_cast<bool>(m_publication); }

  long GetX() const { return x; }
  void SetX(long value);
  long m1();
  long m2(const CString& text);
  long OnLocalSrvCmd(const CString& text);

  SAutomationClass Describe();

 private:
  long x = 5;
  std::unique_ptr<IAutomationPublication> m_publication;
};
