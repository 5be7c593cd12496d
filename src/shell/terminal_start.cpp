// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/terminal_start.h"

#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "cmdline/standard_options.h"
#include "shell/exit_status.h"
#include "shell/version.h"
#include "toolkit_threads.h"

namespace shell {

using cmdline::StandardOption;

std::optional<int> answerStandardOption(const std::vector<std::string>& parameters) {
    switch (cmdline::standardOption(parameters)) {
    case StandardOption::Help:
        std::fputs(cmdline::helpText(kCaption).c_str(), stdout);
        return 0;
    case StandardOption::Version:
        std::printf("%s\n", kCaption);
        return 0;
    case StandardOption::None:
        break;
    }
    return std::nullopt;
}

namespace {

// The way out before there is a window to close: one line on standard error
// and Lentora's own failure status, at once (see the callers for why no
// clean-up can run).
[[noreturn]] void endBeforeTheWindow(const QString& line) {
    std::fprintf(stderr, "lentora: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    std::_Exit(kOwnFailureStatus);
}

QtMessageHandler previousHandler = nullptr;
// The toolkit's warnings on the platform, held back: the last one says why
// it gave up (e.g. "could not connect to display :1"); they are passed on
// when the start succeeds.
QStringList platformWarnings;

void passOn(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void reportMissingDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool platformMessage = context.category && QByteArray(context.category).startsWith("qt.qpa");
    if (type == QtFatalMsg) {
        QString reason = platformWarnings.isEmpty() ? message.section('\n', 0, 0) : platformWarnings.first();
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        // The toolkit aborts once this handler returns.
        endBeforeTheWindow("no display to show the window on (" + reason + ")");
    }
    if (platformMessage)
        platformWarnings.append(QString::fromLatin1(context.category) + ": " + message);
    else
        passOn(type, context, message);
}

}  // namespace

DisplayGuard::DisplayGuard() { previousHandler = qInstallMessageHandler(reportMissingDisplay); }

DisplayGuard::~DisplayGuard() {
    qInstallMessageHandler(previousHandler);
    for (const QString& warning : std::as_const(platformWarnings)) std::fprintf(stderr, "%s\n", qPrintable(warning));
    platformWarnings.clear();
}

void startToolkitThreadsOrEnd() {
    // A toolkit thread may be stuck for good; nothing was raised yet.
    if (const auto failure = startToolkitThreads(std::chrono::seconds(5)).failure())
        endBeforeTheWindow("cannot start: " + QString::fromLocal8Bit(failure->reason));
}

}  // namespace shell
