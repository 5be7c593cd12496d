#pragma once
// The About box: the program's icon, name and version, and three links that
// open with the desktop's default action.
#include <QDialog>
#include <QUrl>
#include <functional>

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
    static QString DocumentPath(QString programDir, const QString& name);
    static QUrl HomePageUrl(const QString& programDir = QString());
    static QUrl ContactUrl(const QString& programDir = QString());
    static QUrl CreditsUrl(const QString& programDir = QString());

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace shell
