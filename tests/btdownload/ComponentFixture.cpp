#include "tests/btdownload/ComponentFixture.h"

#include <httplib.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/support/ProcessState.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TextCodec.h"

const QString kBTDownload = QStringLiteral("zenu.BTDownload");

namespace {
int g_connections = 0;

// The web seed the service wrote last into the torrent: "8:url-list<len>:<url>".
std::string WebSeedUrl(const std::string& torrent) {
  const size_t at = torrent.rfind("8:url-list");
  if (at == std::string::npos) return std::string();
  const size_t colon = torrent.find(':', at + 10);
  if (colon == std::string::npos) return std::string();
  const size_t len = std::stoul(torrent.substr(at + 10, colon - at - 10));
  return torrent.substr(colon + 1, len);
}
}  // namespace

bool NameOwned(const QString& name) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

uint OwnerPid(const QString& name) {
  const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(name);
  return pid.isValid() ? pid.value() : 0;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QThread::msleep(50);
  }
  return true;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// " as \" and \ as \\. The second byte of a GBK character may be a backslash
// and stays as it is.
CString Quoted(const CString& gbk) {
  CString out = "\"";
  for (size_t i = 0; i < gbk.size(); ++i) {
    const auto c = static_cast<unsigned char>(gbk[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) {
      out += gbk.substr(i++, 2);
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += gbk[i];
  }
  return out + "\"";
}

void BTComponentTest::SetUp() {
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
    GTEST_SKIP() << "no session bus: run under dbus-run-session";
  }
  ASSERT_FALSE(NameOwned(kBTDownload));
  CConfigDoc::ResetInstance();
  CMultiUserMgr::ResetInstance();
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u1", "0123456789abcdef0123456789abcdef");
  // Installed like the program: the component next to it in the program folder.
  ASSERT_EQ(::symlink(ZENU_BTDOWNLOAD_EXE, (home.Path() + "zenu-btdownload").c_str()), 0);
  SetRateLimit(0);
  NewClient();
}

void BTComponentTest::TearDown() {
  if (!m_connectionName.isEmpty()) EndClient();
  svc.Stop();
  CConfigDoc::ResetInstance();
  CMultiUserMgr::ResetInstance();
  CProcessValues::Reset();
}

void BTComponentTest::EndClient() {
  bt.reset();
  SetAutomation(nullptr);
  automation.reset();
  QDBusConnection::disconnectFromBus(m_connectionName);
  m_connectionName.clear();
  // The component goes with its client; the next one starts its own.
  EXPECT_TRUE(WaitUntil([] { return !NameOwned(kBTDownload); }, 10000));
}

void BTComponentTest::NewClient() {
  m_connectionName = QStringLiteral("bt-client-%1").arg(++g_connections);
  automation = std::make_unique<CDBusAutomation>(
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName));
  SetAutomation(automation.get());
  bt = std::make_unique<CBTDownload>();
}

void BTComponentTest::FetchMovie() {
  ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 8));
  CProcessValues::SetRemoteSrvHost("127.0.0.1");
  CProcessValues::SetRemoteSrvPort(svc.Port());
  httplib::Client http("127.0.0.1", svc.Port());
  for (movie = 1; movie <= 8; ++movie) {
    auto res = http.Get("/torrent/" + std::to_string(movie) + ".torrent");
    ASSERT_TRUE(res);
    if (res->status == 200) {
      torrentBytes = res->body;
      break;
    }
  }
  ASSERT_FALSE(torrentBytes.empty());
  const std::string seed = WebSeedUrl(torrentBytes);
  const std::string prefix = "/content/" + std::to_string(movie) + "/";
  const size_t at = seed.find(prefix);
  ASSERT_NE(at, std::string::npos) << seed;
  fileName = seed.substr(at + prefix.size());
  auto content = http.Get(prefix + fileName);
  ASSERT_TRUE(content);
  ASSERT_EQ(content->status, 200);
  contentBytes = content->body;
  ASSERT_FALSE(contentBytes.empty());

  torrentFile = TorrentFile(movie);
  std::filesystem::create_directories(std::filesystem::path(torrentFile).parent_path());
  std::ofstream(torrentFile, std::ios::binary) << torrentBytes;
}

void BTComponentTest::SetRateLimit(int kb) {
  CConfigDoc::GetInstance()->SaveUserConfigItem("User", "RateLimit", std::to_string(kb));
  CConfigDoc::GetInstance()->LoadConfig();
}

std::string BTComponentTest::TorrentFile(int id) const {
  return home.Path() + "data/" + std::to_string(id) + "/" + std::to_string(id) + ".torrent";
}

std::unique_ptr<CWebSeed> BTComponentTest::MakeSeed(int id, std::int64_t bytes,
                                                    const std::vector<std::string>& moreSources) {
  auto seed = std::make_unique<CWebSeed>(home.Path() + "seed" + std::to_string(id), bytes,
                                         TorrentFile(id), moreSources);
  CProcessValues::SetRemoteSrvHost("127.0.0.1");
  CProcessValues::SetRemoteSrvPort(seed->Port());
  return seed;
}

CString BTComponentTest::Args(const std::string& utf8Torrent, const CString& gbkSaveas) const {
  return "--responsefile " + Quoted(Utf8ToGBK(utf8Torrent)) + " --saveas " + Quoted(gbkSaveas);
}

QDBusMessage BTComponentTest::CallComponent(const QString& method, const QVariantList& args) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(kBTDownload, QStringLiteral("/"), kBTDownload, method);
  call.setArguments(args);
  // As the client that started it: the component answers nobody else.
  return QDBusConnection(m_connectionName).call(call);
}

double BTComponentTest::PollTightly(int ms) {
  QElapsedTimer clock;
  clock.start();
  double percent = 0;
  do {
    percent = bt->GetPercent();
  } while (percent < 100 && percent >= 0 && clock.elapsed() < ms);
  return percent;
}
