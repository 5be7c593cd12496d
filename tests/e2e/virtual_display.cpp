// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtual_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <thread>

#include "lentora_process.h"

using namespace std::chrono_literals;

namespace {

// Xvfb picks a free display itself and writes its number to -displayfd.
std::optional<std::pair<pid_t, std::string>> startServer() {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    const pid_t server = fork();
    if (server == 0) {
        close(fds[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1024x768x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (server < 0) return std::nullopt;
    if (number.empty()) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        return std::nullopt;
    }
    return std::make_pair(server, ":" + number);
}

unsigned long cardinalProperty(Display* x, Window w, const char* name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(x, w, XInternAtom(x, name, False), 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

std::optional<std::string> textProperty(Display* x, Window w, Atom property, Atom type) {
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::optional<std::string> text;
    if (XGetWindowProperty(x, w, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) == Success &&
        data && actual == type && format == 8)
        text = std::string(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    return text;
}

std::string caption(Display* x, Window w) {
    const Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
    if (auto name = textProperty(x, w, XInternAtom(x, "_NET_WM_NAME", False), utf8)) return *name;
    return textProperty(x, w, XA_WM_NAME, XA_STRING).value_or("");
}

bool viewable(Display* x, Window w) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(x, w, &attributes) && attributes.map_state == IsViewable;
}

// Errors from windows that vanish while being looked at are expected.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::unique_ptr<VirtualDisplay> VirtualDisplay::start() {
    const auto server = startServer();
    if (!server) return nullptr;
    Display* display = XOpenDisplay(server->second.c_str());
    if (!display) {
        kill(server->first, SIGTERM);
        waitpid(server->first, nullptr, 0);
        return nullptr;
    }
    XSetErrorHandler(ignoreErrors);
    return std::unique_ptr<VirtualDisplay>(new VirtualDisplay(server->first, server->second, display));
}

VirtualDisplay::VirtualDisplay(pid_t server, std::string name, _XDisplay* display)
    : server_(server), name_(std::move(name)), display_(display) {}

VirtualDisplay::~VirtualDisplay() {
    XCloseDisplay(display_);
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
}

std::vector<std::pair<unsigned long, std::string>> VirtualDisplay::captionsOf(pid_t pid) {
    std::vector<std::pair<unsigned long, std::string>> result;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return result;
    for (unsigned int i = 0; i < count; ++i) {
        const Window w = children[i];
        if (cardinalProperty(display_, w, "_NET_WM_PID") == static_cast<unsigned long>(pid) && viewable(display_, w))
            result.emplace_back(w, caption(display_, w));
    }
    if (children) XFree(children);
    return result;
}

std::optional<unsigned long> VirtualDisplay::waitForCaption(pid_t pid, const std::string& wanted,
                                                            std::chrono::milliseconds limit) {
    std::optional<unsigned long> found;
    waitFor(
        [&] {
            for (const auto& [window, text] : captionsOf(pid))
                if (text == wanted) found = window;
            return found.has_value();
        },
        limit, 20ms);
    return found;
}

void VirtualDisplay::focus(unsigned long window) {
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
}

void VirtualDisplay::askToClose(unsigned long window) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
}
