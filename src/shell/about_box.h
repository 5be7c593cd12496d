// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About box: the program's icon, name and version, and three links that
// open with the desktop's default action, or say why they could not.
#include <QDialog>
#include <QUrl>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace shell {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    // How a link is opened (the desktop's default action unless replaced).
    std::function<void(const QUrl&)> OpenLink;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* HomePage = nullptr;
    QLabel* Contact = nullptr;
    QLabel* Credits = nullptr;
    QPushButton* OKButton = nullptr;

    // The pages that come with the program: its README and its credits, for
    // the program in programDir (empty: this program).
    static QString documentPath(const QString& programDir, const QString& name);
    static QUrl homePageUrl(const QString& programDir = QString());
    static QUrl contactUrl(const QString& programDir = QString());
    static QUrl creditsUrl(const QString& programDir = QString());
    // Why a link could not be opened by `open` (the desktop's default action),
    // in words for the user; none when it was opened.
    static std::optional<QString> linkProblem(const QUrl& url, const std::function<bool(const QUrl&)>& open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace shell
