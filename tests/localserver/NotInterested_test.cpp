// "不感兴趣" and the reason of a push from the client's record list: the client
// core asks the real component over the bus, the component the real service.
#include <json/writer.h>

#include <algorithm>
#include <set>

#include "app/MainDoc.h"
#include "push/PushDoc.h"
#include "tests/localserver/TaskFixture.h"
#include "tests/support/FakeMessageBox.h"

namespace {
// The session as the push engine sees it: its local server commands go to the component.
class CComponentSession final : public ISession {
 public:
  explicit CComponentSession(CLocalServerProcess& local) : m_local(local) {}
  void SetStatusInfo(int, const CString&) override {}
  void OnPushDocEvent(int) override {}
  int GetNetStatus() const override { return 1; }
  void OnMainFrameEvent(const SMainFrameEvent&) override {}
  bool SendLocalSrvCommand(Json::Value& document) override {
    return m_local.Command(document).type() == QDBusMessage::ReplyMessage;
  }

 private:
  CLocalServerProcess& m_local;
};
}  // namespace

class NotInterestedTest : public TaskTest {
 protected:
  void TearDown() override {
    CMainDoc::GetInstance()->SetPushEngine(nullptr);
    CPushDoc::ResetInstance();
    TaskTest::TearDown();
  }
  // The component's next answer of this kind, through the client's command channel.
  void Deliver(int index) {
    Json::Value answer;
    ASSERT_TRUE(orvex.WaitCommand(index, m_seen, answer)) << index;
    m_seen = orvex.commands.size();
    Json::StreamWriterBuilder ascii;
    CMainDoc::GetInstance()->OnLocalSrvCmd(Json::writeString(ascii, answer).c_str());
  }
  CString Tip(uint32_t gid) {
    SRecordViewEvent evt;
    evt.iType = kRecordViewToolTip;
    evt.iColumn = 7;
    const auto& gids = doc->GetGIDs();
    evt.iRow = static_cast<uint32_t>(std::find(gids.begin(), gids.end(), gid) - gids.begin());
    doc->OnRecordViewEvent(evt);
    return evt.strText;
  }
  void SelectAndDismiss(uint32_t gid) {
    m_seen = orvex.commands.size();
    SRecordViewEvent evt;
    evt.iType = 2;
    const auto& gids = doc->GetGIDs();
    evt.arrRows = {static_cast<uint32_t>(std::find(gids.begin(), gids.end(), gid) - gids.begin())};
    doc->OnRecordViewEvent(evt);
    doc->OnDismissRecord();
  }
  std::set<uint32_t> PushedUntilNothingIsLeft() {
    std::set<uint32_t> pushed;
    for (int i = 0; i < 6; ++i) {
      const Indexes got = Cycle(i == 0 ? kNewUser : kQuick);
      if (got.back() == 36) break;
      for (uint32_t gid : StoreLastCycle()) pushed.insert(gid);
    }
    return pushed;
  }

  CPushDoc* doc = nullptr;
  CFakeMessageBox boxes;

 private:
  size_t m_seen = 0;
};

TEST_F(NotInterestedTest, TheReasonShowsAndNotInterestedMovesTheRecordOnceTheServiceAgreed) {
  StartAll(0, 14);
  ASSERT_TRUE(service::Register(svc.Port(), "alice"));
  Login("alice");
  LoginAs("alice");
  EXPECT_EQ(Cycle(kNewUser), (Indexes{32, 34, 37, 35}));
  const CGIDList first = StoreLastCycle();
  ASSERT_EQ(first.size(), 10u);
  const uint32_t movie = first.front();

  doc = CPushDoc::GetInstance();
  CComponentSession session(*local);
  doc->SetSession(&session);
  CMainDoc::GetInstance()->SetPushEngine(doc);
  doc->OnChangeNewTask();

  // The tooltip asks once, then tells the service's own reason.
  EXPECT_EQ(Tip(movie), "正在向服务器询问推荐理由…");
  Deliver(51);
  Json::Value why;
  ASSERT_TRUE(service::GetJson(
      svc.Port(), "/api/v1/pushes/reason?username=alice&movie_id=" + std::to_string(movie), why));
  ASSERT_FALSE(why["reason"].asString().empty());
  EXPECT_EQ(Tip(movie), "推荐理由：" + Utf8ToGBK(why["reason"].asString()));

  // Refused by the service (never pushed to alice): told, nothing moves.
  uint32_t stranger = 0;
  Json::Value details;
  for (uint32_t id = 1; id < 100 && stranger == 0; ++id) {
    if (std::count(first.begin(), first.end(), id) == 0 &&
        service::GetJson(svc.Port(), "/api/v1/movies/" + std::to_string(id), details))
      stranger = id;
  }
  ASSERT_NE(stranger, 0u);
  CRecord added;
  ASSERT_TRUE(CIntfDB::GetInstance()->AddPushedRecord2(&details["push"], Saveas(), &added));
  doc->OnChangeNewTask();
  SelectAndDismiss(stranger);
  Deliver(50);
  EXPECT_EQ(Get(stranger).GetStatus(), RS_NEW);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("服务器没有向您推送过这部电影"), CString::npos) << boxes.texts[0];

  // Agreed: the record goes to 已删除 as a delete without files, asking nothing.
  SelectAndDismiss(movie);
  Deliver(50);
  EXPECT_EQ(Get(movie).GetStatus(), RS_DELETED);
  EXPECT_EQ(Get(movie).GetEval(), 0);
  EXPECT_EQ(boxes.texts.size(), 1u);
  ASSERT_TRUE(service::GetJson(
      svc.Port(), "/api/v1/pushes/reason?username=alice&movie_id=" + std::to_string(movie), why));
  EXPECT_TRUE(why["dismissed"].asBool());

  // Later pushes, even those to a client that lost its own, leave it out.
  CIntfDB::ResetInstance();
  Login("alice2");
  const std::set<uint32_t> later = PushedUntilNothingIsLeft();
  EXPECT_FALSE(later.empty());
  EXPECT_EQ(later.count(movie), 0u);

  // A service that cannot be reached: said so, the record stays.
  doc->OnChangeNewTask();
  const uint32_t kept = *later.begin();
  svc.Stop();
  SelectAndDismiss(kept);
  Deliver(50);
  EXPECT_EQ(Get(kept).GetStatus(), RS_NEW);
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_NE(boxes.texts[1].find("无法连接服务器"), CString::npos) << boxes.texts[1];
}
