#include "platform/qt/QtMessageLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/Platform.h"

TEST(QtMessageLoop, PostedTasksTimersAndNestedModalRun) {
  CQtMessageLoop loop;
  std::vector<int> order;
  loop.Post([&] { order.push_back(1); });
  loop.Post([&] {
    order.push_back(2);
    loop.Post([&] { order.push_back(4); });
  });
  loop.Post([&] { order.push_back(3); });

  int ticks = 0;
  loop.StartTimer(1000, 10, [&] {
    if (++ticks == 3) loop.StopTimer(1000);  // a timer may stop itself
  });
  QElapsedTimer clock;
  clock.start();
  loop.RunModal([&] { return ticks >= 3 && order.size() == 4; });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(ticks, 3);
  EXPECT_LT(clock.elapsed(), 5000);

  // Stopped timers stay stopped.
  bool finished = false;
  loop.StartTimer(1001, 50, [&] { finished = true; });
  loop.RunModal([&] { return finished; });
  EXPECT_EQ(ticks, 3);
  loop.StopTimer(1001);

  // Work that is not the loop's own (a widget, the bus) ends the wait as well.
  bool other = false;
  QTimer::singleShot(30, [&] { other = true; });
  loop.RunModal([&] { return other; });
  EXPECT_TRUE(other);
}

TEST(QtMessageLoop, ErrorEscapingADispatchEndsTheProgramWithExitCodeOne) {
  CTempHome home;
  CFakeMessageBox boxes;
  CQtMessageLoop loop;
  CPlatform::SetLoop(&loop);
  loop.Post([] {
    OP_BEGIN("CBroken::OnEvent")
    RAISE_ERROR("state lost");
    OP_END
  });
  const int code = QCoreApplication::exec();
  EXPECT_EQ(code, 1);
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_NE(boxes.texts[0].find("Error: state lost"), CString::npos);
  EXPECT_NE(home.ErrorLog().find("CallStack: QtMessageLoop_test.cpp, CBroken::OnEvent"),
            CString::npos);
  CPlatform::SetLoop(nullptr);
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
