#pragma once

// The rest of the session (update check, login, push engine) that starts once
// the local web server reports that it is ready.
class ISessionStarter {
 public:
  virtual ~ISessionStarter() = default;
  virtual void ContinueInit() = 0;
};
