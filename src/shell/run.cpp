// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/run.h"

#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/processor.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "shell/application.h"
#include "shell/fonts.h"
#include "shell/help_viewer.h"
#include "shell/main_window.h"
#include "shell/splash.h"
#include "shell/terminal_start.h"
#include "widgets/dialogs.h"
#include "widgets/qt_tray_shell.h"

// The pictures live in a static library; the toolkit's macro names a
// function outside any namespace.
static void loadPictures() { Q_INIT_RESOURCE(resources); }

namespace shell {

using widgets::QtDialogs;
using widgets::QtTrayShell;

int run(int argc, char** argv) {
    // The parameters belong to the command line and the program it starts.
    // The toolkit gets only our own name: "-platform", "-display",
    // "-geometry" or "-reverse" meant for an old X program must not reach it.
    // (A start with no arguments at all, not even a name, is possible too.)
    const std::vector<std::string> parameters(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
    char ownName[] = "lentora";
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argc > 0 && argv[0] ? argv[0] : ownName, nullptr};

    if (const std::optional<int> status = answerStandardOption(parameters)) return *status;

    loadPictures();
    std::optional<DisplayGuard> displayGuard(std::in_place);
    TLentoraApplication app(toolkitArgc, toolkitArgv);
    app.setDesktopFileName("lentora");  // the menu entry's icon and name for the window on Wayland
    displayGuard.reset();
    startToolkitThreadsOrEnd();
    app.setFont(windowFont());  // every window, dialogs included
    QtDialogs dialogs;
    app.setDialogs(&dialogs);

    auto* splash = new Tsplashform;
    splash->setWindowTitle(kApplicationTitle);  // untitled, it would be named after the class
    splash->show();                             // the first window: the window class is fixed now
    app.useTitle();
    splash->repaint();
    app.processEvents();

    auto registry = platform::openRegFile(platform::defaultUserRegistryPath());
    auto machineRegistry = platform::cpuinfoRegistry();
    THelpViewer help(helpFilePath());
    Services services{.clock = platform::systemClock(),
                      .system = platform::systemControl(),
                      .registry = *registry,
                      .processor = platform::realProcessor(),
                      .machineRegistry = *machineRegistry,
                      .processes = platform::processStarter(),
                      .dialogs = dialogs,
                      .trayShell = std::make_shared<QtTrayShell>(),
                      .help = help,
                      .parameters = parameters};

    Tform1 form1(std::move(services));
    app.setDialogs(&form1.dialogs());  // a start that runs by itself shows no box
    form1.show();
    // The command-line launch belongs to the window's first activation; a
    // desktop that does not give new windows the focus must not hold it back.
    QTimer::singleShot(0, &form1, [&form1] { form1.FormActivate(); });
    const int result = app.exec();
    app.setDialogs(&dialogs);  // the window's go with it
    delete splash;
    return result != 0 ? result : form1.exitStatus();
}

}  // namespace shell
