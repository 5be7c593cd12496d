// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/help_viewer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "shell/installed_files.h"

namespace shell {

HelpFile readHelpFile(const QString& path) {
    HelpFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        result.error = QString("Cannot open the help file \"%1\": %2").arg(path, file.errorString());
        return result;
    }
    const QStringList lines = QString::fromUtf8(file.read(4 * 1024 * 1024)).split('\n');
    for (const QString& line : lines) {
        if (line.startsWith("@topic ")) {
            HelpTopic topic;
            const QString rest = line.mid(7);
            topic.context = rest.section(' ', 0, 0).toInt();
            topic.title = rest.section(' ', 1).trimmed();
            result.topics.push_back(topic);
        } else if (!result.topics.empty()) {
            result.topics.back().body += line + '\n';
        }
    }
    if (result.topics.empty()) result.error = QString("The help file \"%1\" holds no topics.").arg(path);
    return result;
}

QString helpPage(const HelpFile& file, int command, int data) {
    if (file.error) return "<h3>Help</h3><p>" + file.error->toHtmlEscaped() + "</p>";
    if (command == HELP_CONTEXT) {
        for (const HelpTopic& topic : file.topics)
            if (topic.context == data) return "<h2>" + topic.title.toHtmlEscaped() + "</h2>" + topic.body;
        return QString("<h3>Help</h3><p>There is no help topic with the context number %1.</p>").arg(data);
    }
    QString page = "<h2>Contents</h2><ul>";
    for (const HelpTopic& topic : file.topics)
        page += QString("<li><a href=\"topic:%1\">%2</a></li>").arg(topic.context).arg(topic.title.toHtmlEscaped());
    return page + "</ul>";
}

THelpViewer::~THelpViewer() = default;

void THelpViewer::WinHelp(QWidget*, const QString& helpFile, int command, int data) {
    const QString path = helpFile.isEmpty() || !QFileInfo(helpFile).isAbsolute() ? defaultHelpFile_ : helpFile;
    const HelpFile file = readHelpFile(path);
    if (!window_) {
        // A window of its own, owned by no other: the program's dialogs block
        // only the windows they belong to, so help stays usable beside any
        // of them, as a separate help program would.
        window_ = std::make_unique<QDialog>(nullptr, Qt::Window);
        window_->setAttribute(Qt::WA_QuitOnClose, false);  // closing help never ends the program
        window_->setWindowTitle("Lentora Help");
        window_->resize(560, 460);
        browser_ = new QTextBrowser(window_.get());
        browser_->setOpenLinks(false);
        auto* layout = new QVBoxLayout(window_.get());
        layout->addWidget(browser_);
        QObject::connect(browser_, &QTextBrowser::anchorClicked, window_.get(), [this, path](const QUrl& url) {
            if (url.scheme() == "topic")
                browser_->setHtml(helpPage(readHelpFile(path), HELP_CONTEXT, url.path().toInt()));
        });
    }
    browser_->setHtml(helpPage(file, command, data));
    window_->show();
    window_->raise();
    window_->activateWindow();
}

QString helpFilePath() { return installedFilePath("lentora.hlp"); }

}  // namespace shell
