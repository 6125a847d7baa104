#include "zenuModule/src/CmdParams.h"

#include <gtest/gtest.h>

#include "tests/support/TempHome.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/ProcessValues.h"

namespace {
CCmdParams* Parse(std::vector<const char*> args) {
  CCmdParams::ResetInstance();
  args.insert(args.begin(), "vadeko");
  CCmdParams* params = CCmdParams::GetInstance();
  params->ParseCommandLine(static_cast<int>(args.size()), args.data());
  return params;
}
}  // namespace

TEST(CmdParams, AutoFlagAndServerPort) {
  CProcessValues::Reset();
  CCmdParams* p = Parse({"-AUTO", "-server_port", "8088"});
  EXPECT_EQ(p->GetIsAuto(), 1);
  EXPECT_EQ(p->GetServerPort(), 8088);

  p = Parse({"-server_port"});
  EXPECT_EQ(p->GetServerPort(), 88);
  EXPECT_EQ(p->GetIsAuto(), 0);

  p = Parse({"-server_port", "81", "x"});  // the flag is never cleared
  EXPECT_EQ(p->GetServerPort(), 0);

  p = Parse({"/Auto"});
  EXPECT_EQ(p->GetIsAuto(), 1);
  EXPECT_EQ(p->GetServerPort(), 88);

  p = Parse({"8088", "-autostart_server_port", "99"});  // "auto" wins over "server_port"
  EXPECT_EQ(p->GetIsAuto(), 1);
  EXPECT_EQ(p->GetServerPort(), 88);
  CCmdParams::ResetInstance();
}

TEST(ProcessValues, StartUpValues) {
  CTempHome home;
  CProcessValues::Reset();
  EXPECT_EQ(CProcessValues::GetLocalSrvPort(), 80);
  EXPECT_EQ(CProcessValues::GetRemoteSrvPort(), 88);
  const CString folder = CProcessValues::InitLogPaths();
  EXPECT_EQ(GetTraceFilePath(), folder + "trace.log");
  EXPECT_EQ(GetErrorFilePath(), folder + "error.log");
  const int port = CProcessValues::ChooseLocalSrvPort();
  ASSERT_GT(port, 0);
  EXPECT_EQ(CProcessValues::GetLocalSrvBaseUrl(), "http://127.0.0.1:" + std::to_string(port));
  EXPECT_NE(home.TraceLog().find(":CUApp::InitInstance(): localsrv port: " + std::to_string(port)),
            CString::npos);
  CProcessValues::Reset();
}
