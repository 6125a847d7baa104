// The task request end to end: the client's requests to the real component,
// the real reference service behind it, the commands the client receives.
#include <map>
#include <set>

#include "tests/localserver/TaskFixture.h"

namespace {
std::set<uint32_t> AsSet(const CGIDList& ids) { return std::set<uint32_t>(ids.begin(), ids.end()); }
}  // namespace

TEST_F(TaskTest, RefusedBeforeLoginAndMalformedFormsAnswer400) {
  StartAll();
  Json::Value body;
  // No user yet: refused with a reason, nothing driven.
  ASSERT_EQ(ReqTask(kNormal, body), 200);
  ASSERT_TRUE(body.isArray());
  EXPECT_EQ(body[0].asInt(), 0);
  EXPECT_TRUE(body[1].isString() && !body[1].asString().empty());

  const char* malformed[] = {"",
                             "strAction=StartReqTask",
                             "strType=normal",
                             "strAction=StartReqTask&strType=slow",
                             "strAction=StartReqTask&strType=NORMAL",
                             "strAction=ReqNewMov&strType=normal",
                             "strAction=reqnewmov&strType=NewUser",
                             "strAction=StartReqTask&strType=NewUser",
                             "strAction=%FF%00&strType=%00%0A",
                             "strAction=ReqNewMov&strType=OldUser%20"};
  auto expectMalformed = [&] {
    for (const char* query : malformed) {
      Json::Value answer;
      EXPECT_EQ(ReqTask(query, answer), 400) << query;
      ASSERT_TRUE(answer.isArray()) << query;
      EXPECT_EQ(answer[0].asInt(), 0) << query;
      EXPECT_TRUE(answer[1].isString()) << query;
    }
  };
  expectMalformed();
  ASSERT_TRUE(service::Register(svc.Port(), "alice"));
  LoginAs("alice");
  expectMalformed();
  Pump(500);
  EXPECT_EQ(orvex.Indexes(), (Indexes{200, 100}));
}

TEST_F(TaskTest, NewUserPushesThenARatingShapesTheQuickPushes) {
  StartAll();
  ASSERT_TRUE(service::Register(svc.Port(), "alice"));
  ASSERT_TRUE(service::Register(svc.Port(), "bob"));
  Login("alice");
  LoginAs("alice");
  EXPECT_EQ(Cycle(kNewUser), (Indexes{32, 34, 37, 35}));
  const CGIDList first = StoreLastCycle();
  ASSERT_EQ(first.size(), 10u);
  for (uint32_t gid : first) {
    const CRecord rec = Get(gid);
    EXPECT_GE(rec.GetExpectEval(), 1.0) << gid;
    EXPECT_LE(rec.GetExpectEval(), 5.0) << gid;
    EXPECT_FALSE(rec.GetTaskDisplayName().empty()) << gid;
    EXPECT_TRUE(rec.GetFetchMethod() == 1 || rec.GetFetchMethod() == 5) << gid;
  }

  // zoe's fives set the level; alice finds her first three poor; bob rates nothing.
  ASSERT_TRUE(service::Register(svc.Port(), "zoe"));
  for (int i = 3; i < 7; ++i) ASSERT_TRUE(service::Rate(svc.Port(), "zoe", first[i], 5, false));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(service::Rate(svc.Port(), "alice", first[i], 2, false));
  EXPECT_EQ(Cycle(kQuick), (Indexes{32, 34, 37, 35}));
  const Json::Value aliceInfo = orvex.Of(37).back();
  const CGIDList quick = StoreLastCycle();
  ASSERT_EQ(quick.size(), 3u);
  for (uint32_t gid : quick) EXPECT_EQ(AsSet(first).count(gid), 0u) << gid;

  // bob, without ratings of his own, gets the movies by popularity, which the
  // ratings moved: alice's poor ones fall behind, zoe's fives stay in front.
  CIntfDB::ResetInstance();
  Login("bob");
  LoginAs("bob");
  EXPECT_EQ(Cycle(kNewUser), (Indexes{32, 34, 37, 35}));
  const std::set<uint32_t> bobs = AsSet(StoreLastCycle());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bobs.count(first[i]), 0u) << first[i];
  for (int i = 3; i < 7; ++i) EXPECT_EQ(bobs.count(first[i]), 1u) << first[i];
  // alice's own low ratings lower what is predicted for her.
  std::map<uint32_t, double> bobsEval;
  for (uint32_t gid : quick) {
    if (bobs.count(gid)) bobsEval[gid] = Get(gid).GetExpectEval();
  }
  ASSERT_FALSE(bobsEval.empty()) << WriteJson(aliceInfo);
  CIntfDB::ResetInstance();
  Login("alice");
  for (const auto& [gid, eval] : bobsEval) EXPECT_LT(Get(gid).GetExpectEval(), eval) << gid;
  Json::Value status;
  ASSERT_TRUE(service::GetJson(svc.Port(), "/api/v1/status", status));
  EXPECT_EQ(status["ratings"].asInt(), 7);
}

TEST_F(TaskTest, FiveRecommendedToAllReachesAFollowerAs300) {
  StartAll();
  ASSERT_TRUE(service::Register(svc.Port(), "bob"));
  ASSERT_TRUE(service::Register(svc.Port(), "carol"));
  EXPECT_EQ(service::Post(svc.Port(), "/api/v1/friends/follow",
                          {{"username", "carol"}, {"friend", "bob"}}),
            200);
  Login("bob");
  LoginAs("bob");
  EXPECT_EQ(Cycle(kNewUser), (Indexes{32, 34, 37, 35}));
  const CGIDList bobs = StoreLastCycle();
  ASSERT_FALSE(bobs.empty());
  // The last of bob's batch: carol's own first batch holds it too, so use one
  // outside it.
  const uint32_t liked = bobs.back();
  ASSERT_TRUE(service::Rate(svc.Port(), "bob", liked, 5, true));

  CIntfDB::ResetInstance();
  Login("carol");
  LoginAs("carol");
  EXPECT_EQ(Cycle(kNormal), (Indexes{32, 34, 37, 35}));
  const CGIDList carols = StoreLastCycle();
  ASSERT_EQ(AsSet(carols).count(liked), 1u);
  EXPECT_DOUBLE_EQ(Get(liked).GetExpectEval(), 300.0);
  int friendPushes = 0;
  for (uint32_t gid : carols) friendPushes += Get(gid).GetExpectEval() == 300.0 ? 1 : 0;
  EXPECT_EQ(friendPushes, 1);
  // Delivered once.
  EXPECT_EQ(Cycle(kQuick), (Indexes{32, 34, 37, 35}));
  EXPECT_EQ(AsSet(StoreLastCycle()).count(liked), 0u);
}

TEST_F(TaskTest, CustomPushByKindGivesHundredPushesOfThatKind) {
  StartAll();
  ASSERT_TRUE(service::Register(svc.Port(), "dave"));
  EXPECT_EQ(
      service::Post(svc.Port(), "/api/v1/users/kinds", {{"username", "dave"}, {"kinds", "1"}}),
      200);
  Login("dave");
  LoginAs("dave");
  EXPECT_EQ(Cycle(kNormal), (Indexes{32, 34, 37, 35}));
  const CGIDList pushed = StoreLastCycle();
  ASSERT_FALSE(pushed.empty());
  for (uint32_t gid : pushed) {
    EXPECT_DOUBLE_EQ(Get(gid).GetExpectEval(), 100.0) << gid;
    Json::Value movie;
    ASSERT_TRUE(service::GetJson(svc.Port(), "/api/v1/movies/" + std::to_string(gid), movie));
    bool ofKind = false;
    for (const Json::Value& kind : movie["kinds"]) ofKind = ofKind || kind["id"].asInt() == 1;
    EXPECT_TRUE(ofKind) << gid;
  }
}

TEST_F(TaskTest, AHeldBackStartEndsWith35AndExhaustionWith36WithoutMovies) {
  StartAll(0, 12);
  ASSERT_TRUE(service::Register(svc.Port(), "erin"));
  Login("erin");
  LoginAs("erin");
  EXPECT_EQ(Cycle(kNewUser), (Indexes{32, 34, 37, 35}));
  StoreLastCycle();
  // Ten unrated: a start brings nothing, and is not told that the movies ran out.
  EXPECT_EQ(Cycle(kOldUser), (Indexes{32, 34, 35}));
  EXPECT_EQ(Cycle(kQuick), (Indexes{32, 34, 37, 35}));
  StoreLastCycle();
  EXPECT_EQ(Cycle(kQuick), (Indexes{32, 34, 36}));
  EXPECT_EQ(CIntfDB::GetInstance()->GetCount(), 12);
}

TEST_F(TaskTest, ServiceDownGives33AndTheRetrySucceedsOnceItIsBack) {
  StartAll(400);
  const int port = svc.Port();
  // A user name in GBK at the service, UTF-8 on the bus.
  const std::string gbk = "\xD5\xC5\xC8\xFD";
  ASSERT_TRUE(service::Register(port, gbk));
  Login(gbk);
  LoginAs("\xE5\xBC\xA0\xE4\xB8\x89");
  svc.Stop();

  const size_t from = orvex.commands.size();
  ExpectAccepted(kNormal);
  // Retries keep coming, each announced, never two at once.
  ASSERT_TRUE(WaitFor([&] { return orvex.Of(33, from).size() >= 3; }, 10000));
  const Indexes down = orvex.Indexes(from);
  for (size_t i = 0; i < down.size(); ++i) EXPECT_EQ(down[i], i % 2 == 0 ? 32 : 33) << i;

  ASSERT_TRUE(svc.Start(home.Path() + "svc", port));
  const Indexes all = WaitEnd(from);
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(Indexes(all.end() - 4, all.end()), (Indexes{32, 34, 37, 35}));
  // Nothing more once it succeeded.
  Pump(1000);
  EXPECT_EQ(orvex.Indexes(from), all);
  const std::vector<Json::Value> infos = orvex.Of(37, from);
  ASSERT_EQ(infos.size(), 1u);
  CString text = infos[0]["STR_MEDIA_INFO"].asString();
  ConvertUtf8ToGBK(text);
  CGIDList added;
  CIntfDB::GetInstance()->AddPushedRecord(text, Saveas(), &added);
  EXPECT_EQ(added.size(), 5u);
}

TEST_F(TaskTest, StopWhileARetryWaitsEndsAtOnceAndSendsNothingMore) {
  StartAll(60000);
  ASSERT_TRUE(service::Register(svc.Port(), "frank"));
  LoginAs("frank");
  svc.Stop();
  const size_t from = orvex.commands.size();
  ExpectAccepted(kQuick);
  ASSERT_TRUE(WaitFor([&] { return orvex.Of(33, from).size() == 1; }));
  const QDBusMessage reply = local->StopCommand();
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(local->WaitExit(3000));
  EXPECT_EQ(local->Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(local->Process().exitCode(), 0);
  const size_t seen = orvex.commands.size();
  Pump(300);
  EXPECT_EQ(orvex.commands.size(), seen);
  EXPECT_EQ(orvex.Indexes(from), (Indexes{32, 33}));
}

TEST_F(TaskTest, AnotherServiceAddressIsReportedAndTakesTheNextRequests) {
  ASSERT_TRUE(svc.Start(home.Path() + "svc", 0, 30));
  // Started towards a service that is not there.
  StartComponent(CLoopbackHttpServer::UnusedPort(), 0);
  ASSERT_TRUE(service::Register(svc.Port(), "alice"));
  Login("alice");
  LoginAs("alice");
  auto change = [&](const char* host, int port) {
    Json::Value cmd(Json::objectValue);
    cmd["INT_CMD_IDX"] = 3;
    cmd["STR_REMOTE_SERVER"] = host;
    cmd["INT_REMOTE_SERVER_PORT"] = port;
    return local->Command(cmd).type();
  };
  const size_t from = orvex.commands.size();
  for (const char* host : {"", "a/b", "a b", "a@b", "a?b"})
    EXPECT_EQ(change(host, svc.Port()), QDBusMessage::ErrorMessage) << host;
  EXPECT_EQ(change("127.0.0.1", 0), QDBusMessage::ErrorMessage);
  EXPECT_EQ(change("127.0.0.1", 65536), QDBusMessage::ErrorMessage);
  ASSERT_EQ(change("127.0.0.1", svc.Port()), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(WaitFor([&] { return !orvex.Of(200, from).empty(); }));
  EXPECT_EQ(orvex.Indexes(from), Indexes{200});
  EXPECT_EQ(orvex.Of(200, from)[0]["STR_IP"].asString(), "127.0.0.1");
  EXPECT_EQ(Cycle(kNewUser), (Indexes{32, 34, 37, 35}));
  EXPECT_EQ(StoreLastCycle().size(), 10u);
}
