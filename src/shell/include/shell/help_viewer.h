// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help stand-in: a window of our own that reads the help file
// ("lentora.hlp", topics with context numbers) and shows its contents or
// the topic of a context number.
#include <QDialog>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QTextBrowser;

namespace shell {

inline constexpr int HELP_CONTEXT = 1;
inline constexpr int HELP_FINDER = 11;

class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    virtual void WinHelp(QWidget* parent, const QString& helpFile, int command, int data) = 0;
};

// One help file: "@topic <context> <title>" lines start topics; the lines
// after one, up to the next, are its text (simple HTML).
struct HelpTopic {
    int context = 0;
    QString title;
    QString body;
};
struct HelpFile {
    std::vector<HelpTopic> topics;
    std::optional<QString> error;  // why the file could not be read
};
HelpFile readHelpFile(const QString& path);
// The page for a help command: the contents (a list of every topic) or one topic.
QString helpPage(const HelpFile& file, int command, int data);

class THelpViewer : public HelpViewer {
public:
    explicit THelpViewer(QString defaultHelpFile) : defaultHelpFile_(std::move(defaultHelpFile)) {}
    ~THelpViewer() override;
    // The window asking for help does not own the help window.
    void WinHelp(QWidget* parent, const QString& helpFile, int command, int data) override;
    QDialog* window() const { return window_.get(); }

private:
    QString defaultHelpFile_;
    std::unique_ptr<QDialog> window_;
    QTextBrowser* browser_ = nullptr;
};

// The installed help file (see installedFilePath).
QString helpFilePath();

}  // namespace shell
