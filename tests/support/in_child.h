// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a function in a child process, as another user or under a file size
// limit that stands in for a full disk (neither is safe in the test process),
// and returns the text the function returned.
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <optional>
#include <string>

inline constexpr uid_t kNobody = 65534;

inline std::string inChild(const std::function<std::string()>& run, std::optional<uid_t> user = {},
                           rlim_t fileSizeLimit = RLIM_INFINITY) {
    int channel[2];
    if (pipe(channel) != 0) return "[pipe failed]";
    const pid_t child = fork();
    if (child == 0) {
        if (user && (setgroups(0, nullptr) != 0 || setgid(*user) != 0 || setuid(*user) != 0)) _exit(2);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string out = run();
        _exit(write(channel[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string out;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
    close(channel[0]);
    int status = 0;
    if (waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "[child failed]";
    return out;
}
