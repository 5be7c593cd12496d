// SPDX-License-Identifier: GPL-3.0-or-later
#include "about_box.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "screen_place.h"
#include "shell/installed_files.h"
#include "shell/version.h"
#include "widgets/dialogs.h"

namespace shell {

using widgets::blockOwnerOnly;

namespace {
QLabel* linkLabel(QWidget* parent, const QString& text, const QUrl& url, TAboutBox* box) {
    auto* label = new QLabel(
        QString("<a href=\"%1\">%2</a>").arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped()),
        parent);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(label, &QLabel::linkActivated, box, [box](const QString& link) { box->OpenLink(QUrl(link)); });
    return label;
}
}  // namespace

// Centred on the screen at every showing, not on the main window as dialogs
// are by default.
void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) centreOnScreen(this);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    // The picture is a link to the home page, like the first text link.
    if (watched == ProgramIcon && event->type() == QEvent::MouseButtonRelease) OpenLink(homePageUrl());
    return QDialog::eventFilter(watched, event);
}

// Copied beside the program in its build folder, installed in
// <prefix>/share/lentora beside bin/; a copy of the program elsewhere (or a
// link to it) finds them where the build installs them.
QString TAboutBox::documentPath(const QString& programDir, const QString& name) {
    return installedFilePath(name, programDir);
}

QUrl TAboutBox::homePageUrl(const QString& programDir) {
    return QUrl::fromLocalFile(documentPath(programDir, "README.md"));
}

// The README's section on reporting problems: the project has no mail address.
QUrl TAboutBox::contactUrl(const QString& programDir) {
    QUrl url = homePageUrl(programDir);
    url.setFragment("reporting-problems");
    return url;
}

QUrl TAboutBox::creditsUrl(const QString& programDir) {
    return QUrl::fromLocalFile(documentPath(programDir, "credits.html"));
}

// A packager may leave the pages out, and a desktop without xdg-open opens
// nothing: either way the user is told rather than left clicking.
std::optional<QString> TAboutBox::linkProblem(const QUrl& url, const std::function<bool(const QUrl&)>& open) {
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString();
    if (url.isLocalFile() && !QFileInfo::exists(target))
        return QString(
                   "Cannot open %1: the file is not there. It comes with Lentora; installing Lentora "
                   "again puts it back.")
            .arg(target);
    if (!open(url))
        return QString(
                   "No program is set up to open %1. Open it with a program of your choice, or install "
                   "xdg-utils so that the desktop opens such files.")
            .arg(target);
    return std::nullopt;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Lentora!!!");
    setProperty("helpContext", 80);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    OpenLink = [this](const QUrl& url) {
        const auto problem = linkProblem(url, [](const QUrl& page) { return QDesktopServices::openUrl(page); });
        if (problem) widgets::QtDialogs().information(this, windowTitle(), *problem);
    };
    blockOwnerOnly(*this);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    ProgramIcon->setCursor(Qt::PointingHandCursor);
    ProgramIcon->setToolTip("Home page");
    ProgramIcon->installEventFilter(this);
    ProductName = new QLabel("Lentora!!!", this);
    QFont big = ProductName->font();
    big.setPixelSize(18);
    big.setBold(true);
    ProductName->setFont(big);
    Version = new QLabel(QString("Version %1").arg(kVersion), this);
    HomePage = linkLabel(this, "Home page", homePageUrl(), this);
    Contact = linkLabel(this, "Contact and problems", contactUrl(), this);
    Credits = linkLabel(this, "Credits", creditsUrl(), this);
    OKButton = new QPushButton("OK", this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(ProgramIcon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(ProductName, 0, 1);
    layout->addWidget(Version, 1, 1);
    layout->addWidget(new QLabel("Runs your old programs as on a slower processor.", this), 2, 1);
    layout->addWidget(HomePage, 3, 1);
    layout->addWidget(Contact, 4, 1);
    layout->addWidget(Credits, 5, 1);
    layout->addWidget(OKButton, 6, 1, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace shell
