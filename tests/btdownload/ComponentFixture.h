#pragma once
#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "platform/qt/DBusAutomation.h"
#include "push/BTDownload.h"
#include "tests/btdownload/WebSeed.h"
#include "tests/componentrig/ChildProcesses.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/ProcessState.h"
#include "tests/support/TempHome.h"

extern const QString kBTDownload;

bool NameOwned(const QString& name);
uint OwnerPid(const QString& name);
bool WaitUntil(const std::function<bool()>& done, int ms);
std::string ReadBytes(const std::string& path);
// Quoted as the client quotes a path in the argument line.
CString Quoted(const CString& gbk);

// The client's side of the component: its driver over the client's D-Bus
// automation, on a connection of its own so that a test can make it leave.
class BTComponentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The client leaves the bus; the component ends with it.
  void EndClient();
  // A client again, with a fresh driver.
  void NewClient();

  // The service up, and the torrent of its first BitTorrent movie fetched into
  // the program folder as the client stores it; the movie's content bytes too.
  void FetchMovie();
  // A web-seeded torrent of bytes stored as the client stores torrent number id;
  // its web seed stands for the service.
  std::unique_ptr<CWebSeed> MakeSeed(int id, std::int64_t bytes,
                                     const std::vector<std::string>& moreSources = {});
  std::string TorrentFile(int id) const;
  // The user's "RateLimit" setting, which the driver sends along; 0 unless a
  // test sets it.
  void SetRateLimit(int kb);

  // The argument line of the status machine: GBK paths, quoted.
  CString Args(const std::string& utf8Torrent, const CString& gbkSaveas) const;
  QDBusMessage CallComponent(const QString& method, const QVariantList& args = {});
  // GetDownloadedPercent asked again and again without a pause, until 100, an
  // error or ms have passed; the last answer.
  double PollTightly(int ms);

  CTempHome home;
  CFakeMessageBox boxes;
  CServiceProcess svc;
  std::unique_ptr<CDBusAutomation> automation;
  std::unique_ptr<CBTDownload> bt = std::make_unique<CBTDownload>();
  int movie = 0;
  std::string torrentBytes;
  std::string torrentFile;
  std::string fileName;
  std::string contentBytes;

 private:
  QString m_connectionName;
};
