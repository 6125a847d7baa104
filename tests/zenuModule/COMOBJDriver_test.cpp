#include "zenuModule/src/COMOBJDriver.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <memory>

#include "tests/support/RaisedText.h"
#include "tests/support/FakeAutomation.h"
#include "zenuModule/src/ProgramException.h"

namespace {
std::shared_ptr<SFakeComponent> LocalServer(CFakeAutomation& automation) {
  auto component = std::make_shared<SFakeComponent>();
  component->methods = {{"OnOrvexCmd", 1}, {"Status", 7}};
  component->strResult = "answer";
  automation.components["zenu.LocalServer"] = component;
  return component;
}
}  // namespace

TEST(COMOBJDriver, NamesAreLookedUpOnceAndTheCacheOutlivesTheComponent) {
  CFakeAutomation automation;
  auto component = LocalServer(automation);
  CCOMOBJDriver driver("zenu.LocalServer");

  // No component yet: nothing is called, nothing raised, nothing looked up.
  EXPECT_EQ(driver.CallMethod("OnOrvexCmd", TRUE, nullptr), "");
  EXPECT_EQ(automation.iCreates, 0);

  EXPECT_EQ(driver.CreateInstance(), TRUE);
  EXPECT_EQ(component->iLiveObjects, 1);
  EXPECT_EQ(driver.CallMethod("Status", TRUE, nullptr), "answer");
  EXPECT_EQ(driver.CallMethod("Status", FALSE, nullptr), "");  // result not asked for
  EXPECT_EQ(driver.CallMethod("OnOrvexCmd", TRUE, nullptr), "answer");
  EXPECT_EQ(component->lookups, (std::vector<CString>{"Status", "OnOrvexCmd"}));
  ASSERT_EQ(component->calls.size(), 3u);
  EXPECT_EQ(component->calls[0].id, 7);
  EXPECT_EQ(component->calls[2].id, 1);

  // Creating again while one runs keeps the one.
  driver.CreateInstance();
  EXPECT_EQ(automation.iCreates, 1);
  EXPECT_EQ(component->iLiveObjects, 1);

  EXPECT_EQ(driver.DestroyInstance(), TRUE);
  EXPECT_EQ(component->iLiveObjects, 0);
  EXPECT_FALSE(driver.HasInstance());
  EXPECT_EQ(driver.CallMethod("Status", TRUE, nullptr), "");
  EXPECT_EQ(component->calls.size(), 3u);
  EXPECT_EQ(driver.DestroyInstance(), TRUE);  // twice is harmless

  driver.CreateInstance();
  EXPECT_EQ(component->iLiveObjects, 1);
  driver.CallMethod("Status", TRUE, nullptr);
  driver.CallMethod("OnOrvexCmd", FALSE, nullptr);
  EXPECT_EQ(component->lookups.size(), 2u);  // both still cached
  EXPECT_EQ(component->calls.back().id, 1);
  {
    CCOMOBJDriver second("zenu.LocalServer");
    second.CreateInstance();
    EXPECT_EQ(component->iLiveObjects, 2);
  }  // the destructor releases its component
  EXPECT_EQ(component->iLiveObjects, 1);
}

TEST(COMOBJDriver, ZeroOrOneStyledJsonArgumentWithGBKKept) {
  CFakeAutomation automation;
  auto component = LocalServer(automation);
  CCOMOBJDriver driver("zenu.LocalServer");
  driver.CreateInstance();

  driver.CallMethod("OnOrvexCmd", FALSE, nullptr);
  Json::Value doc(Json::objectValue);
  doc["INT_CMD_IDX"] = 2;
  doc["STR_USERNAME"] = "张三";  // GBK bytes in this file's literals
  driver.CallMethod("OnOrvexCmd", FALSE, &doc);
  ASSERT_EQ(component->calls.size(), 2u);
  EXPECT_FALSE(component->calls[0].bHasArg);
  ASSERT_TRUE(component->calls[1].bHasArg);
  const CString& sent = component->calls[1].strArg;
  EXPECT_NE(sent.find("\"STR_USERNAME\" : \"张三\""), CString::npos) << sent;
  EXPECT_NE(sent.find('\n'), sent.size() - 1) << "one member per line";
  Json::Value back;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  ASSERT_TRUE(reader->parse(sent.data(), sent.data() + sent.size(), &back, &errors));
  EXPECT_EQ(back, doc);
}

TEST(COMOBJDriver, FailuresRaiseTheirTextsAndLeaveTheDriverAsItWas) {
  CFakeAutomation automation;
  CCOMOBJDriver missing("zenu.Nowhere");
  EXPECT_EQ(RaisedText([&] { missing.CreateInstance(); }), "CoCreateInstance zenu.Nowhere failure");
  EXPECT_FALSE(missing.HasInstance());
  EXPECT_EQ(RaisedText([&] { missing.GetMethodID("OnOrvexCmd"); }),
            "GetIDsOfNames: OnOrvexCmd) failure");

  auto component = LocalServer(automation);
  CCOMOBJDriver driver("zenu.LocalServer");
  driver.CreateInstance();
  EXPECT_EQ(RaisedText([&] { driver.CallMethod("NoSuchMethod", TRUE, nullptr); }),
            "GetIDsOfNames: NoSuchMethod) failure");
  EXPECT_TRUE(component->calls.empty());
  // A failed lookup is not cached: the next call asks again.
  RaisedText([&] { driver.CallMethod("NoSuchMethod", TRUE, nullptr); });
  EXPECT_EQ(component->lookups.size(), 2u);

  component->invokeResult = AUTO_E_DISCONNECTED;
  EXPECT_EQ(RaisedText([&] { driver.CallMethod("OnOrvexCmd", TRUE, nullptr); }),
            "Invoke OnOrvexCmd() failure.hr:-2147417848");
  EXPECT_TRUE(driver.HasInstance());
  component->invokeResult = AUTO_S_OK;
  EXPECT_EQ(driver.CallMethod("OnOrvexCmd", TRUE, nullptr), "answer");
  EXPECT_EQ(driver.GetMethodID("Status"), 7);

  // Without any automation service the create fails the same way.
  SetAutomation(nullptr);
  CCOMOBJDriver orphan("zenu.LocalServer");
  EXPECT_EQ(RaisedText([&] { orphan.CreateInstance(); }),
            "CoCreateInstance zenu.LocalServer failure");
  SetAutomation(&automation);
}
