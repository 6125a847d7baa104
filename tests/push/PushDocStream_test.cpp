#include "tests/push/DownloadFixture.h"

namespace {
// What the frame was last told about "边下边播"; -1 when nothing.
int StreamState(const CRecordingPushFrame& frame) {
  for (auto it = frame.updates.rbegin(); it != frame.updates.rend(); ++it) {
    if (it->iType == 5) return it->iValue;
  }
  return -1;
}
}  // namespace

TEST_F(DownloadTest, WatchingWhileItDownloadsFollowsTheComponentsAddress) {
  CRecordingShell shell;
  Add(1, RS_NEW);
  Add(2, RS_NEW);
  Event(1, TE_START);
  Event(2, TE_START);
  doc->ChangeDownloadingEx(0);
  Select({0});
  ASSERT_EQ(doc->GetSelectedGIDs().front(), 1u);

  // The start of the file is not there yet.
  Tick();
  EXPECT_NE(StreamState(frame), 1);
  doc->OnStreamPlay();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(shell.streamed.empty());

  const CString url = "http://127.0.0.1:40123/00112233445566778899aabbccddeeff/movie%20one.MP4";
  bt.streamUrl = url;
  Tick();
  EXPECT_EQ(StreamState(frame), 1);
  doc->OnStreamPlay();
  EXPECT_EQ(shell.streamed, std::vector<CString>{url + " video/mp4"});
  EXPECT_TRUE(shell.opened.empty());
  // The bulletin's command names its movie: the queued one is refused with a word.
  doc->StreamMovieFromPage(1);
  EXPECT_EQ(shell.streamed.size(), 2u);
  doc->StreamMovieFromPage(2);
  EXPECT_EQ(shell.streamed.size(), 2u);
  EXPECT_EQ(boxes.texts.size(), 2u);

  // The queued movie cannot stream; the running one can again.
  Select({1});
  EXPECT_EQ(StreamState(frame), 0);
  EXPECT_EQ(doc->StreamMovie(2), 1);
  Select({0});
  EXPECT_EQ(StreamState(frame), 1);

  // Only an address on this machine is opened.
  for (const CString bad : {CString("http://example.org:80/x/m.mkv"),
                            CString("http://127.0.0.1:1/a b.mkv"), CString("file:///etc/passwd")}) {
    bt.streamUrl = bad;
    Tick();
    EXPECT_EQ(StreamState(frame), 0) << bad;
    EXPECT_EQ(doc->StreamMovie(1), 1) << bad;
  }
  bt.streamUrl = url;
  Tick();
  EXPECT_EQ(StreamState(frame), 1);

  // Stopped, the movie no longer streams, and the next one does once its
  // component answers with an address.
  Event(1, TE_STOP);
  EXPECT_EQ(StreamState(frame), 0);
  EXPECT_EQ(doc->StreamMovie(1), 1);
  EXPECT_EQ(Status(2), RS_DOWNLOADING);
  Tick();
  EXPECT_EQ(doc->StreamMovie(2), 0);

  // Finished: played from the file now, not streamed.
  bt.percent = 100;
  Tick();
  EXPECT_EQ(Status(2), RS_DOWNLOADED);
  EXPECT_EQ(doc->StreamMovie(2), 1);
  EXPECT_EQ(shell.streamed.size(), 3u);
}
