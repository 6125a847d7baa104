#include "zenuModule/src/Buffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "zenuModule/src/ProgramException.h"

namespace {
CString RaisedBy(const std::function<void()>& body) {
  try {
    body();
  } catch (CProgramException* e) {
    CString message = e->GetError();
    e->Delete();
    return message;
  }
  return "<nothing raised>";
}
}  // namespace

TEST(Buffer, AllocCopyJoinAndText) {
  CBuffer b;
  EXPECT_EQ(b.GetBufSize(), 0u);
  EXPECT_EQ(b.GetBufAddr(), nullptr);

  b.AllocBuf(4);
  ASSERT_EQ(b.GetBufSize(), 4u);
  EXPECT_EQ(std::memcmp(b.GetBufAddr(), "\0\0\0\0", 4), 0);

  CBuffer joined;
  joined.JoinBuf("abc", 3);
  EXPECT_EQ(CString(joined.GetBufAddr(), joined.GetBufSize()), "abc");
  joined.JoinBuf("de\0f", 4);
  EXPECT_EQ(CString(joined.GetBufAddr(), joined.GetBufSize()), CString("abcde\0f", 7));
  CString text;
  joined.CopyToString(text);
  EXPECT_EQ(text, "abcde");  // up to the first zero byte

  CBuffer noZero;
  noZero.CopyBuf("xyz", 3);
  noZero.CopyToString(text);
  EXPECT_EQ(text, "xyz");

  // Appending a buffer to itself doubles it, also across a reallocation.
  noZero.JoinBuf(noZero);
  noZero.JoinBuf(noZero);
  EXPECT_EQ(CString(noZero.GetBufAddr(), noZero.GetBufSize()), "xyzxyzxyzxyz");

  CBuffer copy(joined);
  copy.GetBufAddr()[0] = 'Z';
  EXPECT_EQ(joined.GetBufAddr()[0], 'a');
  CBuffer fromOther;
  fromOther.CopyBuf(copy);
  EXPECT_EQ(CString(fromOther.GetBufAddr(), 3), "Zbc");
}

TEST(Buffer, ZeroSizesRaiseAndLeaveContents) {
  CBuffer b;
  b.CopyBuf("keep", 4);
  EXPECT_EQ(RaisedBy([&] { b.JoinBuf("x", 0); }), "ulSize is 0!!");
  EXPECT_EQ(RaisedBy([&] { b.AllocBuf(0); }), "ulSize is 0!!");
  EXPECT_EQ(RaisedBy([&] { b.CopyBuf("x", 0); }), "ulSize is 0!!");
  EXPECT_EQ(CString(b.GetBufAddr(), b.GetBufSize()), "keep");
  CBuffer empty;
  EXPECT_EQ(RaisedBy([&] { b.JoinBuf(empty); }), "ulSize is 0!!");
}

TEST(Buffer, AssigningEmptyKeepsOldBytesButReportsSizeZero) {
  CBuffer filled;
  filled.CopyBuf("data", 4);
  const char* before = filled.GetBufAddr();
  CBuffer empty;
  filled = empty;
  EXPECT_EQ(filled.GetBufSize(), 0u);
  ASSERT_EQ(filled.GetBufAddr(), before);
  EXPECT_EQ(std::memcmp(filled.GetBufAddr(), "data", 4), 0);
  CString text = "old";
  filled.CopyToString(text);
  EXPECT_EQ(text, "");

  CBuffer other;
  other.CopyBuf("12345678", 8);
  filled = other;
  EXPECT_EQ(CString(filled.GetBufAddr(), filled.GetBufSize()), "12345678");
  // Joining after a reset starts from the reported size.
  filled = empty;
  filled.JoinBuf("q", 1);
  EXPECT_EQ(CString(filled.GetBufAddr(), filled.GetBufSize()), "q");
}

TEST(Buffer, ManySmallAppendsKeepEveryByte) {
  CBuffer body;
  CString expected;
  char piece[1024];
  for (int i = 0; i < 3000; ++i) {
    std::memset(piece, 'A' + i % 26, sizeof piece);
    body.JoinBuf(piece, sizeof piece);
    expected.append(piece, sizeof piece);
  }
  ASSERT_EQ(body.GetBufSize(), expected.size());
  EXPECT_EQ(std::memcmp(body.GetBufAddr(), expected.data(), expected.size()), 0);
}

TEST(Buffer, ReserveKeepsContentsAndLargeBlocksReadAsText) {
  CBuffer body;
  body.JoinBuf("head", 4);
  body.Reserve(3);  // smaller than the size: nothing changes
  EXPECT_EQ(CString(body.GetBufAddr(), body.GetBufSize()), "head");
  body.Reserve(8u << 20);  // a large block
  const char* const block = body.GetBufAddr();
  EXPECT_EQ(body.GetBufSize(), 4u);
  EXPECT_STREQ(body.GetBufAddr(), "head");
  const CString tail(6u << 20, 't');
  body.JoinBuf(tail.data(), static_cast<unsigned long>(tail.size()));
  EXPECT_EQ(body.GetBufAddr(), block);  // no regrowth within the reserve
  EXPECT_EQ(CString(body.GetBufAddr(), body.GetBufSize()), "head" + tail);
  EXPECT_EQ(body.GetBufAddr()[body.GetBufSize()], '\0');
  CBuffer zeroed;
  zeroed.AllocBuf(5u << 20);
  EXPECT_EQ(CString(zeroed.GetBufAddr(), 5u << 20).find_first_not_of('\0'), CString::npos);
}
