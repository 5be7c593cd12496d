// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: it shows an error that escapes an event handler
// in a message box, and the program goes on.
#include <QApplication>

namespace widgets {
class Dialogs;
}  // namespace widgets

namespace shell {

class TLentoraApplication : public QApplication {
public:
    TLentoraApplication(int& argc, char** argv);
    // The application title ("LENTORA2.05", the caption of message
    // boxes), after the first window was made (see the constructor).
    void useTitle();
    bool notify(QObject* receiver, QEvent* event) override;
    void setDialogs(widgets::Dialogs* dialogs) { dialogs_ = dialogs; }
    // Shows an error's message; used by notify and by components that catch
    // errors in their own callbacks.
    void handleException(const std::exception& error);

private:
    widgets::Dialogs* dialogs_ = nullptr;
};

}  // namespace shell
