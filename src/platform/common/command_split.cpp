// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting an application command into arguments the way Windows reads a
// command line: blanks separate, double quotes group, and an unquoted path
// with blanks in it is found by trying ever longer runs of leading words.
#include <platform/process.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "command_split.h"

namespace platform {

namespace {

struct Word {
    std::string text;  // quotes removed
    size_t begin = 0;  // its span in the command as written
    size_t end = 0;
    bool quoted = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<Word> splitWords(const std::string& command) {
    std::vector<Word> words;
    bool inWord = false;
    bool inQuotes = false;
    for (size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (!inQuotes && isBlank(c)) {
            if (inWord) words.back().end = i;
            inWord = false;
            continue;
        }
        if (!inWord) words.push_back(Word{{}, i, command.size(), false});
        inWord = true;
        if (c == '"') {
            inQuotes = !inQuotes;
            words.back().quoted = true;
        } else {
            words.back().text += c;
        }
    }
    return words;
}

// 0 for an executable regular file, otherwise the error number that tells why not.
int executableError(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EACCES;  // as exec says of devices and pipes
    return access(path.c_str(), X_OK) == 0 ? 0 : errno;
}

bool isExecutableFile(const std::string& path) { return executableError(path) == 0; }

std::string searchPath(const std::string& name) {
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        // An empty entry would mean the current directory; it is left out on purpose.
        if (dir.empty()) continue;
        std::string candidate = std::string(dir) + '/' + name;
        if (isExecutableFile(candidate)) return candidate;
    }
    return {};
}

}  // namespace

std::string findProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') == std::string::npos) return searchPath(name);
    return isExecutableFile(name) ? name : std::string();
}

int programError(const std::string& name) {
    if (name.find('/') == std::string::npos) return searchPath(name).empty() ? ENOENT : 0;
    return executableError(name);
}

std::vector<std::string> splitCommand(const std::string& command) {
    const std::vector<Word> words = splitWords(command);
    if (words.empty()) return {};
    std::vector<std::string> args{words[0].text};
    size_t rest = 1;  // the first word after the program's name
    for (size_t k = 0; k < words.size() && !words[k].quoted; ++k) {
        std::string run = command.substr(words[0].begin, words[k].end - words[0].begin);
        if (!findProgram(run).empty()) {
            args[0] = std::move(run);
            rest = k + 1;
            break;
        }
    }
    for (size_t i = rest; i < words.size(); ++i) args.push_back(words[i].text);
    return args;
}

std::vector<std::string> joinProgramWords(const std::vector<std::string>& arguments) {
    std::string run;
    for (size_t k = 0; k < arguments.size(); ++k) {
        run += (k == 0 ? "" : " ") + arguments[k];
        if (findProgram(run).empty()) continue;
        std::vector<std::string> joined{run};
        joined.insert(joined.end(), arguments.begin() + k + 1, arguments.end());
        return joined;
    }
    return arguments;  // names no program: the start reports why
}

std::string directoryPart(const std::string& command) {
    const size_t slash = command.rfind('/');
    return slash == std::string::npos ? std::string() : command.substr(0, slash + 1);
}

}  // namespace platform
