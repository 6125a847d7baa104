#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "WebRig.h"

namespace {
class RigEnvironment final : public ::testing::Environment {
 public:
  void TearDown() override { CWebRig::Shutdown(); }
};
}  // namespace

int main(int argc, char** argv) {
  // The browser engine runs as whatever user the tests run as (root in CI).
  if (!std::getenv("QTWEBENGINE_CHROMIUM_FLAGS")) {
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new RigEnvironment);
  return RUN_ALL_TESTS();
}
