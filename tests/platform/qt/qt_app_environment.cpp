// One QApplication for the whole test program, made before any test runs, on
// the offscreen platform, with a configuration folder of its own so that
// settings never touch the user's. The text rasteriser's tests then find it
// (a QApplication is a QGuiApplication) instead of making one without widgets.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <clocale>
#include <string>

namespace {

class QtApplicationEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    char folder[] = "/tmp/vivid_qt_tests_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("XDG_CONFIG_HOME", folder, 1);
    static int argc = 3;
    static char name[] = "platform_qt_tests";
    static char option[] = "-platform";
    static char platformName[] = "offscreen";
    static char* argv[] = {name, option, platformName, nullptr};
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    app_ = new QApplication(argc, argv);
    std::setlocale(LC_ALL, locale.c_str());
  }

 private:
  QApplication* app_ = nullptr;  // lives until the process ends, as Qt's teardown wants
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
