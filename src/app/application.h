#pragma once

// Start-up and shutdown of the tool.

#include <memory>

#include <QUrl>

#include "app/main_window.h"

namespace qelvanto {

// The publisher's web page: the host name the build was given, as an http address.
QUrl PublisherPage();

// Creates the main window hidden, asks the desktop to open the publisher's page, then shows the
// window. Needs a QApplication on the calling thread, which becomes the window thread.
std::unique_ptr<MainWindow> OpenMainWindow();

// The whole life of the tool: the application, the window and its event loop. Returns when the
// window has been closed.
int RunApplication(int argc, char** argv);

}  // namespace qelvanto
