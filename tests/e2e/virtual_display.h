// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An Xvfb server of the test's own, and what a window manager or a user would
// see of Lentora's windows on it: their captions, focus, and the close request.
#include <sys/types.h>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

class VirtualDisplay {
public:
    // Nothing when Xvfb is not installed or does not start.
    static std::unique_ptr<VirtualDisplay> start();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return name_; }

    // The captions (_NET_WM_NAME, else WM_NAME) of the mapped top-level
    // windows that belong to the process, by window id.
    std::vector<std::pair<unsigned long, std::string>> captionsOf(pid_t pid);
    // Waits for a mapped window of the process with exactly this caption.
    std::optional<unsigned long> waitForCaption(pid_t pid, const std::string& caption, std::chrono::milliseconds limit);
    // Gives the window the input focus, as a window manager does with a new window.
    void focus(unsigned long window);
    // Asks the window to close, as a window manager's close button does.
    void askToClose(unsigned long window);

private:
    VirtualDisplay(pid_t server, std::string name, _XDisplay* display);
    pid_t server_;
    std::string name_;
    _XDisplay* display_;
};
