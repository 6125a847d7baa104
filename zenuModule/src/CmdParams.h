#pragma once
#include "Singleton.h"
#include "Types.h"

class CCmdParams final : public TSingleton<CCmdParams> {
  friend class TSingleton<CCmdParams>;

 public:
  // One argument without its leading '-' or '/' when it is a flag.
  void ParseParam(const char* param, BOOL isFlag, BOOL isLast);
  // The whole command line, split into flags and plain arguments.
  void ParseCommandLine(int argc, const char* const* argv);
  int GetIsAuto() const { return bIsAuto; }
  int GetServerPort() const { return iServerPort; }
  // A flag naming the service port was given: it outranks the configured port.
  bool HasServerPort() const { return m_bServerPortFlag != 0; }

 private:
  CCmdParams();

  int bIsAuto = 0;
  int iServerPort;
  int m_bServerPortFlag = 0;
};
