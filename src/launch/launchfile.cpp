#include "launch/launchfile.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <string>
#include <system_error>

namespace {

using Column = std::string LaunchEntry::*;
constexpr size_t kColumnCount = 7;
constexpr Column kColumns[kColumnCount] = {&LaunchEntry::name,   &LaunchEntry::path,       &LaunchEntry::factor,
                                           &LaunchEntry::runFor, &LaunchEntry::wait,       &LaunchEntry::closeToken,
                                           &LaunchEntry::minimizeToken};

// Calls visit(line) for each line until it returns false.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (!visit(text.substr(start, end - start))) return;
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++start;
    }
}

size_t countLines(std::string_view text) {
    size_t count = 0;
    forEachLine(text, [&](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

QString qtName(const std::filesystem::path& file) {
    return QFile::decodeName(file.c_str());
}

std::string fileMessage(const char* what, const std::filesystem::path& file, const std::string& reason) {
    return std::string("Cannot ") + what + " file \"" + file.string() + "\". " + reason;
}

std::string reasonOf(const QFileDevice& device) {
    const std::string reason = device.errorString().toLocal8Bit().toStdString();
    return reason.empty() ? std::make_error_code(std::errc::io_error).message() : reason;
}

// Only a regular file is opened: a directory is an error, and a pipe or a
// device could block or never end.
std::string checkReadable(const std::filesystem::path& file, std::filesystem::file_status status) {
    if (std::filesystem::is_directory(status))
        return fileMessage("open", file, std::make_error_code(std::errc::is_a_directory).message());
    if (!std::filesystem::is_regular_file(status)) return fileMessage("open", file, "Not a regular file");
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return fileMessage("open", file, ec.message());
    if (size > kLaunchFileMaxBytes)
        return fileMessage("read", file, std::make_error_code(std::errc::file_too_large).message());
    return {};
}

// Writes until everything is written or the system refuses: the call that
// fails after a short write is the one that carries the reason.
bool writeAll(QSaveFile& out, const std::string& text) {
    const char* data = text.data();
    auto left = static_cast<qint64>(text.size());
    while (left > 0) {
        const qint64 written = out.write(data, left);
        if (written <= 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace

std::vector<LaunchEntry> parseLaunchText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const size_t n = countLines(text) / kColumnCount;
    std::vector<LaunchEntry> entries(n);
    size_t index = 0;
    forEachLine(text, [&](std::string_view line) {
        if (index >= n * kColumnCount) return false;
        entries[index % n].*kColumns[index / n] = line;
        ++index;
        return true;
    });
    return entries;
}

std::string formatLaunchText(const std::vector<LaunchEntry>& entries) {
    std::string text;
    for (const Column column : kColumns) {
        for (const LaunchEntry& entry : entries) {
            text += entry.*column;
            text += "\r\n";
        }
    }
    return text;
}

LoadResult loadLaunchFile(const std::filesystem::path& file) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) return {};
    if (ec) return {{}, fileMessage("open", file, ec.message())};
    if (std::string error = checkReadable(file, status); !error.empty()) return {{}, error};
    QFile in(qtName(file));
    if (!in.open(QIODevice::ReadOnly)) return {{}, fileMessage("open", file, reasonOf(in))};
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) return {{}, fileMessage("read", file, reasonOf(in))};
    return {parseLaunchText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))), {}};
}

std::string saveLaunchFile(const std::filesystem::path& file, const std::vector<LaunchEntry>& entries) {
    // Unbuffered, so that a short write (disk full, size limit) is seen here;
    // a buffered flush would let commit() publish a truncated file.
    QSaveFile out(qtName(file));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fileMessage("create", file, reasonOf(out));
    if (!writeAll(out, formatLaunchText(entries)) || !out.commit()) return fileMessage("write", file, reasonOf(out));
    return {};
}
