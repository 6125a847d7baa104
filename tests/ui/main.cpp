#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/web/WebViews.h"

int main(int argc, char** argv) {
  // Listing the tests runs this too, outside CTest's environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  PrepareWebEngine();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
