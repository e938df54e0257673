#pragma once

// One QApplication for all tests of an executable, made before the first test and removed
// after the last.

#include <memory>

#include <gtest/gtest.h>

#include <QApplication>

namespace qelvanto::testing {

class QtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Widget tests never need a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "qt-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

inline ::testing::Environment* const kQtTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestEnvironment);

}  // namespace qelvanto::testing

// Qt's libraries are not built for the thread sanitizer, so it cannot see their locking, and
// their own worker threads (image conversion, fonts) and the GLib event loop under them look
// racy to it. Our code is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
