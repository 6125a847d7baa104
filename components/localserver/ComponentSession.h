#pragma once
#include <mutex>
#include <string>

#include "ServiceClient.h"

// What the client told this component (start and login commands), shared by
// the bus thread and the HTTP workers.
class CComponentSession final {
 public:
  void SetUser(const std::string& userName, const std::string& dbFile) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_userName = userName;
    m_userDbFile = dbFile;
  }
  std::string UserName() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_userName;
  }
  std::string UserDbFile() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_userDbFile;
  }
  void SetProgram(const std::string& progPath, int version) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progPath = progPath;
    m_version = version;
  }
  std::string ProgPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_progPath;
  }
  int Version() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_version;
  }
  CServiceClient& Service() { return m_service; }

 private:
  mutable std::mutex m_mutex;
  std::string m_userName;
  std::string m_userDbFile;
  std::string m_progPath;
  int m_version = 0;
  CServiceClient m_service;
};
