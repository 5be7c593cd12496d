// SPDX-License-Identifier: GPL-3.0-or-later
#include "properties_form.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <cstdlib>
#include <optional>
#include <string>

#include "cmdline/int_text.h"
#include "engine/factor.h"
#include "launch/launch_file.h"
#include "launch/launch_list.h"
#include "launch/tokens.h"
#include "widgets/dialogs.h"
#include "widgets/gauge.h"

namespace shell {

using cmdline::lenientInt;
using cmdline::strictInt;
using engine::kMaxFactor;
using launch::closeToken;
using launch::dialogClosesChecked;
using launch::dialogMinimizeChecked;
using launch::kLaunchLineMaxBytes;
using launch::LaunchEntry;
using launch::LaunchList;
using launch::minimizeToken;
using widgets::Dialogs;
using widgets::TGauge;

namespace {
QLabel* label(QWidget* parent, int x, int y, const QString& text, const QString& hint = {}) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, 217, 16);
    l->setToolTip(hint);
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, int x, int y, int w, const QString& hint) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(static_cast<int>(kLaunchLineMaxBytes));  // longer lines would not be read back
    e->setGeometry(x, y, w, 21);
    e->setToolTip(hint);
    return e;
}

QCheckBox* checkBox(QWidget* parent, const char* name, int y, const QString& text, const QString& hint) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setGeometry(4, y, 213, 20);
    box->setToolTip(hint);
    return box;
}

QToolButton* glyphButton(QWidget* parent, const char* name, int x, int y, QStyle::StandardPixmap glyph) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setGeometry(x, y, 33, 33);
    b->setIcon(parent->style()->standardIcon(glyph));
    b->setIconSize(QSize(20, 20));
    // An up-down control: held, it repeats; clicked, it takes the keys.
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

std::string bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }
QString text(const std::string& bytes) { return QString::fromLocal8Bit(bytes); }
}  // namespace

QString applicationName(const QString& path) {
    const QString file = QFileInfo(path).fileName();
    const qsizetype dot = file.lastIndexOf('.');
    return dot > 0 ? file.left(dot) : file;
}

TProperties::TProperties(QWidget* mainWindow, Dialogs& dialogs, LaunchList& list, std::filesystem::path launchFile,
                         std::function<int()> selectedIndex)
    : QDialog(mainWindow),
      dialogs_(dialogs),
      list_(list),
      launchFile_(std::move(launchFile)),
      selectedIndex_(std::move(selectedIndex)) {
    setObjectName("Properties");
    setWindowTitle("Properties");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(225, 244);
    setProperty("helpContext", HelpContext);
    RunModal = [](TProperties& dialog) { dialog.exec(); };
    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(0, 0, 225, 209);
    buildMainPage();
    buildAdvancedPage();
    buildButtons();
    connectHandlers();
}

void TProperties::buildMainPage() {
    TabSheet1 = new QWidget;
    PageControl1->addTab(TabSheet1, "Main");
    const QString nameHint = "Name that will be displayed in the listbox!";
    const QString pathHint = "Path of the executable!";
    label(TabSheet1, 2, 6, "Application name:", nameHint);
    txtName = edit(TabSheet1, "txtName", 2, 24, 217, nameHint);
    label(TabSheet1, 2, 54, "Application path:", pathHint);
    txtPath = edit(TabSheet1, "txtPath", 2, 72, 217, pathHint);
    label(TabSheet1, 2, 104, "Slow down factor :");
    downproperties = glyphButton(TabSheet1, "downproperties", 2, 122, QStyle::SP_ArrowDown);
    upproperties = glyphButton(TabSheet1, "upproperties", 35, 122, QStyle::SP_ArrowUp);
    Gauge1 = new TGauge(TabSheet1);
    Gauge1->setObjectName("Gauge1");
    Gauge1->setGeometry(68, 122, 153, 33);
    Gauge1->setToolTip("Launch the executable at this speed !");
}

void TProperties::buildAdvancedPage() {
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet2, "Advanced");
    CheckBox1 = checkBox(TabSheet2, "CheckBox1", 6, "Wait before slowing down:",
                         "Click here to configure how many seconds to wait before starting the slow down");
    Edit1 = edit(TabSheet2, "Edit1", 22, 28, 89, "insert the number of seconds , obviously >=0 ,0 = immediately");
    CheckBox2 = checkBox(TabSheet2, "CheckBox2", 56,
                         "Slow down only for:", "Click here to configure the duration of the slow down");
    Edit2 = edit(TabSheet2, "Edit2", 22, 78, 89, "insert the number of seconds , obviously >=0 , 0 = infinite");
    CheckBox5 = checkBox(TabSheet2, "CheckBox5", 110, "Minimize Lentora during execution",
                         "Click here if you want Lentora to minimize after starting the application");
    CheckBox6 = checkBox(TabSheet2, "CheckBox6", 134, "Close Lentora after exit",
                         "Click here if you want Lentora to exit after the end of the application!");
    for (QLineEdit* e : {Edit1, Edit2}) {
        e->setText("0");
        e->hide();
    }
}

void TProperties::buildButtons() {
    btnOk = new QPushButton("Ok", this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(24, 214, 81, 25);
    btnOk->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(120, 214, 81, 25);
}

void TProperties::connectHandlers() {
    connect(btnOk, &QPushButton::clicked, this, [this] {
        btnOkClick();
        accept();
    });
    // QDialog's Esc key calls reject(), which runs the cancel handler.
    connect(btnCancel, &QPushButton::clicked, this, &TProperties::reject);
    connect(downproperties, &QToolButton::clicked, this, [this] { SpinButton1DownClick(); });
    connect(upproperties, &QToolButton::clicked, this, [this] { SpinButton1UpClick(); });
    // toggled, not clicked: the handlers also follow the program's changes.
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
    txtPath->installEventFilter(this);
    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    downproperties->installEventFilter(this);
    upproperties->installEventFilter(this);
}

// The up-down control's keys: the arrows step by one, the page keys by ten,
// each step through the buttons' handlers and their limits. The buttons
// would otherwise move the focus on arrow keys.
bool TProperties::stepFactorByKey(int key) {
    int steps = 0;
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        steps = 1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        steps = -1;
        break;
    case Qt::Key_PageUp:
        steps = kFactorPageStep;
        break;
    case Qt::Key_PageDown:
        steps = -kFactorPageStep;
        break;
    default:
        return false;
    }
    for (int i = 0; i < std::abs(steps); ++i) steps > 0 ? SpinButton1UpClick() : SpinButton1DownClick();
    return true;
}

bool TProperties::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == downproperties || watched == upproperties) && event->type() == QEvent::KeyPress &&
        stepFactorByKey(static_cast<QKeyEvent*>(event)->key()))
        return true;
    if (watched == txtPath && event->type() == QEvent::MouseButtonDblClick) {
        txtPathDblClick();
        return true;
    }
    if ((watched == Edit1 || watched == Edit2) && event->type() == QEvent::FocusOut) {
        // Only a move of the focus inside the dialog leaves the box; the
        // dialog losing activation (a message box, another program) does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == Edit1)
                Edit1Exit();
            else
                Edit2Exit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TProperties::fillForAdd(const QString& path) {
    stored_.reset();
    txtPath->setText(path);
    txtName->setText(applicationName(path));
    Gauge1->setProgress(0);
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox5, CheckBox6}) box->setChecked(false);
}

void TProperties::fillFromEntry(const LaunchEntry& entry) {
    stored_ = entry;
    txtName->setText(text(entry.name));
    txtPath->setText(text(entry.path));
    Gauge1->setProgress(lenientInt(entry.factor));
    CheckBox1->setChecked(entry.wait != "0");
    Edit1->setVisible(CheckBox1->isChecked());
    Edit1->setText(text(entry.wait));
    CheckBox2->setChecked(entry.runFor != "0");
    Edit2->setVisible(CheckBox2->isChecked());
    Edit2->setText(text(entry.runFor));
    CheckBox5->setChecked(dialogMinimizeChecked(entry.minimizeToken));
    CheckBox6->setChecked(dialogClosesChecked(entry.closeToken));
}

void TProperties::disableMainWindow() {
    QWidget* main = parentWidget();
    if (!main) return;
    mainFocus_ = main->focusWidget();
    main->setEnabled(false);
    // Disabling a widget disables its child windows too; this dialog must
    // stay usable while it blocks the main window.
    setEnabled(true);
}

void TProperties::enableMainWindow() {
    QWidget* main = parentWidget();
    if (!main) return;
    main->setEnabled(true);
    if (mainFocus_) mainFocus_->setFocus(Qt::OtherFocusReason);
    mainFocus_ = nullptr;
}

void TProperties::ShowModal() { RunModal(*this); }

// A text that shows the stored value unedited keeps the stored bytes: bytes
// that are not valid in the system's encoding would otherwise come back as
// replacement characters, and a path would then name a missing file.
std::string TProperties::storedOrTyped(const QLineEdit* edit, std::string LaunchEntry::*field) const {
    if (stored_ && edit->text() == text((*stored_).*field)) return (*stored_).*field;
    return bytes(edit->text());
}

LaunchEntry TProperties::enteredEntry() const {
    return {storedOrTyped(txtName, &LaunchEntry::name), storedOrTyped(txtPath, &LaunchEntry::path),
            std::to_string(Gauge1->progress()),         storedOrTyped(Edit2, &LaunchEntry::runFor),
            storedOrTyped(Edit1, &LaunchEntry::wait),   closeToken(CheckBox6->isChecked()),
            minimizeToken(CheckBox5->isChecked())};
}

void TProperties::storeEntry() {
    if (txtName->text().isEmpty() || txtPath->text().isEmpty()) return;
    if (adding)
        list_.append(enteredEntry());
    else
        list_.replace(selectedIndex_(), enteredEntry());
}

void TProperties::btnOkClick() {
    storeEntry();
    // The list in memory stays as it is when the file cannot be written, so
    // a later OK can still save it.
    if (auto failure = list_.save(launchFile_).failure()) dialogs_.error(this, QString::fromLocal8Bit(failure->reason));
    enableMainWindow();
}

void TProperties::btnCancelClick() { enableMainWindow(); }

void TProperties::reject() {
    btnCancelClick();
    QDialog::reject();
}

void TProperties::SpinButton1DownClick() {
    if (Gauge1->progress() > 1) Gauge1->setProgress(Gauge1->progress() - 1);
}

void TProperties::SpinButton1UpClick() {
    if (Gauge1->progress() < kMaxFactor) Gauge1->setProgress(Gauge1->progress() + 1);
}

void TProperties::txtPathDblClick() {
    if (std::optional<QString> path = dialogs_.openFile(this, kApplicationFilter)) txtPath->setText(*path);
}

void TProperties::showEditFor(QCheckBox* box, QLineEdit* edit) {
    edit->setVisible(box->isChecked());
    if (!box->isChecked()) edit->setText("0");
}

void TProperties::CheckBox1Click() { showEditFor(CheckBox1, Edit1); }
void TProperties::CheckBox2Click() { showEditFor(CheckBox2, Edit2); }

void TProperties::checkEdit(QLineEdit* edit) {
    const std::optional<int32_t> value = strictInt(bytes(edit->text()));
    if (!value) {
        dialogs_.error(this, QString("'%1' is not a valid integer value").arg(edit->text()));
        return;
    }
    if (*value < 0) edit->setText("0");
}

void TProperties::Edit1Exit() { checkEdit(Edit1); }
void TProperties::Edit2Exit() { checkEdit(Edit2); }

}  // namespace shell
