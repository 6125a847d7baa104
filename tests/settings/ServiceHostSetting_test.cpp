#include "settings/ServiceHostSetting.h"

#include <fstream>

#include "tests/settings/SettingsFixture.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
class ServiceHostSettingTest : public SettingsTest {
 protected:
  ServiceHostSettingTest() {
    CProcessValues::Reset();
    CServiceHostSetting::SetSystemFile(home.Path() + "vadeko.conf");
  }
  ~ServiceHostSettingTest() override {
    CServiceHostSetting::SetSystemFile("");
    CServiceHostSetting::SetChangeListener(nullptr);
    CProcessValues::Reset();
  }
  void System(const char* text) { std::ofstream(home.Path() + "vadeko.conf") << text; }
  void Start(std::vector<const char*> args = {}) {
    CCmdParams::ResetInstance();
    CProcessValues::Reset();
    args.insert(args.begin(), "vadeko");
    CCmdParams::GetInstance()->ParseCommandLine(static_cast<int>(args.size()), args.data());
    CServiceHostSetting::ApplyAtStart();
  }
  CString Address() const {
    return CProcessValues::GetRemoteSrvHost() + ":" +
           std::to_string(CProcessValues::GetRemoteSrvPort());
  }
  CString Stored() { return IniGetString(Home() + "config.ini", "sys", "ServiceHost", ""); }
};

CString Parsed(const CString& text) {
  SServiceAddress addr;
  CString error;
  if (!ParseServiceAddress(text, &addr, &error)) return "!" + error;
  return CString(addr.bTls ? "tls|" : "") + addr.strHost + "|" + std::to_string(addr.iPort);
}
}  // namespace

TEST_F(ServiceHostSettingTest, OnlyHostsWithAnOptionalPortAreAddresses) {
  EXPECT_EQ(Parsed("192.168.1.5"), "192.168.1.5|0");
  EXPECT_EQ(Parsed(" push.example.org:8088 "), "push.example.org|8088");
  EXPECT_EQ(Parsed("http://Movies-1.lan:65535/"), "Movies-1.lan|65535");
  EXPECT_EQ(Parsed("[fd00::5]:88"), "[fd00::5]|88");
  const CString badAddress = "!服务器地址应是主机名或IP地址，可带端口，例如 192.168.1.5:8088";
  const CString badPort = "!服务器端口应是1到65535之间的数字";
  EXPECT_EQ(Parsed(""), "!请填写服务器地址");
  EXPECT_EQ(Parsed("HTTPS://a.example"), "tls|a.example|0");
  EXPECT_EQ(Parsed("https://[fd00::5]:8443/"), "tls|[fd00::5]|8443");
  EXPECT_EQ(Parsed("ftp://a.example"), "!服务器地址只支持http和https");
  for (const char* bad : {"a b", "a/b", "http://a/b", "https://a/b", "https://", "user@a", "-a",
                          "a..b", "[fd00::5", "[xyz]", "a;rm", "中文"})
    EXPECT_EQ(Parsed(bad), badAddress) << bad;
  for (const char* bad : {"a:0", "a:65536", "a:", "a:8o", "a:-1", "[fd00::5]:x", "a:1:2"})
    EXPECT_EQ(Parsed(bad), badPort) << bad;
  EXPECT_EQ(FormatServiceAddress("h", 88), "h");
  EXPECT_EQ(FormatServiceAddress("h", 8088), "h:8088");
  EXPECT_EQ(FormatServiceAddress("h", 443, true), "https://h");
  EXPECT_EQ(FormatServiceAddress("h", 88, true), "https://h:88");
}

TEST_F(ServiceHostSettingTest, ConfigOutranksTheSystemDefaultAndTheCommandLineOutranksBothPorts) {
  Start();
  EXPECT_EQ(Address(), CString(kDefaultRemoteHost) + ":88");

  System("# preinstalled\n[sys]\nservicehost = 10.0.0.7:9000\n");
  Start();
  EXPECT_EQ(Address(), "10.0.0.7:9000");
  Start({"-server_port", "8088"});
  EXPECT_EQ(Address(), "10.0.0.7:8088");

  // The user's own setting wins; without a port it is 88 again.
  IniWriteString(Home() + "config.ini", "sys", "ServiceHost", "movies.lan");
  Start();
  EXPECT_EQ(Address(), "movies.lan:88");
  Start({"-AUTO", "-server_port", "7000"});
  EXPECT_EQ(Address(), "movies.lan:7000");

  // An unusable entry is passed over (and traced), never half used.
  IniWriteString(Home() + "config.ini", "sys", "ServiceHost", "movies lan:1");
  Start();
  EXPECT_EQ(Address(), "10.0.0.7:9000");
  EXPECT_NE(home.TraceLog().find("ServiceHost=movies lan:1 ignored"), CString::npos);
  EXPECT_NE(home.TraceLog().find("service: 10.0.0.7:9000"), CString::npos);
}

TEST_F(ServiceHostSettingTest, ChangesAreCheckedStoredAndPassedOn) {
  Start({"-server_port", "8088"});
  int told = 0;
  CServiceHostSetting::SetChangeListener([&] { ++told; });
  EXPECT_EQ(CServiceHostSetting::CurrentText(), CString(kDefaultRemoteHost) + ":8088");

  // The address in use changes nothing.
  EXPECT_TRUE(CServiceHostSetting::Change(CServiceHostSetting::CurrentText()));
  EXPECT_EQ(told, 0);
  EXPECT_EQ(Stored(), "");

  EXPECT_FALSE(CServiceHostSetting::Change("http://a/b"));
  EXPECT_EQ(box.texts,
            std::vector<CString>{"服务器地址应是主机名或IP地址，可带端口，例如 192.168.1.5:8088"});
  EXPECT_EQ(told, 0);

  // A host alone keeps the command line's port; a port typed now is used.
  EXPECT_TRUE(CServiceHostSetting::Change("192.168.1.5"));
  EXPECT_EQ(Address(), "192.168.1.5:8088");
  EXPECT_EQ(Stored(), "192.168.1.5:8088");
  EXPECT_TRUE(CServiceHostSetting::Change("[fd00::5]:88"));
  EXPECT_EQ(Address(), "[fd00::5]:88");
  EXPECT_EQ(Stored(), "[fd00::5]");
  EXPECT_EQ(told, 2);

  // The stored address is the next start's.
  Start();
  EXPECT_EQ(Address(), "[fd00::5]:88");
}

TEST_F(ServiceHostSettingTest, HttpsNamesEveryUrlOfTheServiceAndPlainKeepsItsOwn) {
  IniWriteString(Home() + "config.ini", "sys", "ServiceHost", "movies.lan:8088");
  Start();
  EXPECT_EQ(CProcessValues::GetRemoteSrvRoot(), "http://movies.lan");
  EXPECT_EQ(UrlAndPort(CProcessValues::GetRemoteSrvRoot() + "/urls/UserLogin?username=a", 8088),
            "http://movies.lan:8088/urls/UserLogin?username=a");

  IniWriteString(Home() + "config.ini", "sys", "ServiceHost", "https://movies.lan");
  Start();
  EXPECT_EQ(Address(), "movies.lan:443");
  EXPECT_EQ(CServiceHostSetting::CurrentText(), "https://movies.lan");
  EXPECT_EQ(UrlAndPort(CProcessValues::GetRemoteSrvRoot() + "/update_info/zenu/update.ini", 443),
            "https://movies.lan:443/update_info/zenu/update.ini");
  Start({"-server_port", "8443"});
  EXPECT_EQ(CServiceHostSetting::CurrentText(), "https://movies.lan:8443");

  // Back to plain http is a change too, stored as typed.
  EXPECT_TRUE(CServiceHostSetting::Change("movies.lan:8443"));
  EXPECT_EQ(CProcessValues::GetRemoteSrvRoot(), "http://movies.lan");
  EXPECT_EQ(Stored(), "movies.lan:8443");
  EXPECT_TRUE(CServiceHostSetting::Change("https://movies.lan:8443"));
  EXPECT_EQ(CProcessValues::GetRemoteSrvScheme(), "https");
  EXPECT_EQ(Stored(), "https://movies.lan:8443");
}

TEST_F(ServiceHostSettingTest, APasswordInTheClearToAnotherMachineIsConfirmedOncePerAddress) {
  // This machine, and any https address, never ask.
  Start();
  EXPECT_TRUE(CServiceHostSetting::ConfirmPlainLogin());
  IniWriteString(Home() + "config.ini", "sys", "ServiceHost", "https://movies.lan");
  Start();
  EXPECT_TRUE(CServiceHostSetting::ConfirmPlainLogin());
  EXPECT_TRUE(box.texts.empty());

  IniWriteString(Home() + "config.ini", "sys", "ServiceHost", "[fd00::5]:8088");
  Start();
  box.answers = {IDCANCEL};
  EXPECT_FALSE(CServiceHostSetting::ConfirmPlainLogin());
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_NE(box.texts[0].find("[fd00::5]:8088"), CString::npos);
  EXPECT_NE(box.texts[0].find("未加密"), CString::npos);
  EXPECT_EQ(box.types[0] & 0xF, static_cast<unsigned>(MB_OKCANCEL));
  // Stopped: asked again; gone on: never again for this address.
  box.answers = {IDOK};
  EXPECT_TRUE(CServiceHostSetting::ConfirmPlainLogin());
  EXPECT_TRUE(CServiceHostSetting::ConfirmPlainLogin());
  Start();
  EXPECT_TRUE(CServiceHostSetting::ConfirmPlainLogin());
  EXPECT_EQ(box.texts.size(), 2u);
  // Another port is another address.
  Start({"-server_port", "88"});
  box.answers = {IDOK};
  EXPECT_TRUE(CServiceHostSetting::ConfirmPlainLogin());
  EXPECT_EQ(box.texts.size(), 3u);
}
