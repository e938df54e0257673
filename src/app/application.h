#pragma once

// Start-up and shutdown of the tool.

#include <memory>

#include <QUrl>

#include "app/main_window.h"
#include "collect/collection_run.h"

namespace qelvanto {

// The publisher's web page: the host name the build was given, as an http address.
QUrl PublisherPage();

// Creates the main window hidden, asks the desktop to open the publisher's page, then shows the
// window. Needs a QApplication on the calling thread, which becomes the window thread.
std::unique_ptr<MainWindow> OpenMainWindow(bool open_publisher_page = true);

// The whole life of the tool: the application, the window with its run control, and the event
// loop. Returns when the window has been closed; a harvest still going is stopped then.
// `collect` points the harvest elsewhere (the demo's loopback directory); `open_publisher_page`
// is false only for the demo.
int RunApplication(int argc, char** argv, const CollectOptions& collect = {},
                   bool open_publisher_page = true);

}  // namespace qelvanto
