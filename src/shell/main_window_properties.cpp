// SPDX-License-Identifier: GPL-3.0-or-later
// The launch list's Add, Remove and Properties buttons.
#include <QItemSelectionModel>
#include <QListView>

#include "launch/launch_list.h"
#include "main_window_controls.h"
#include "properties_form.h"
#include "shell/main_window.h"
#include "unattended_dialogs.h"

namespace shell {

using launch::LaunchList;
using widgets::blockOwnerOnly;

void Tform1::createPropertiesDialog() {
    // A start-up that failed early may not have made the list; the window
    // closes then, but its buttons must not reach a missing list meanwhile.
    if (!launchList_) launchList_ = new LaunchList(this);
    Properties = new TProperties(this, *dialogs_, *launchList_, services_.launchFile,
                                 [this] { return ui_->ListBox1->currentIndex().row(); });
    Properties->setObjectName("Properties");
    blockOwnerOnly(*Properties);
}

void Tform1::AddClick() {
    Properties->adding = true;
    const std::optional<QString> path = dialogs_->openFile(this, kApplicationFilter);
    if (!path) return;
    Properties->fillForAdd(*path);
    Properties->disableMainWindow();
    Properties->ShowModal();
}

void Tform1::PropertybuttonClick() {
    const int i = ui_->ListBox1->currentIndex().row();
    if (i < 0 || i >= launchList_->count()) return;
    Properties->adding = false;
    Properties->fillFromEntry(launchList_->entry(i));
    Properties->ShowModal();
}

void Tform1::RemoveClick() {
    const int i = ui_->ListBox1->currentIndex().row();
    if (i < 0 || i >= launchList_->count()) return;
    launchList_->remove(i);
    // As in a list box, deleting the selected item leaves nothing selected,
    // so a second press does not remove the entry that moved up.
    ui_->ListBox1->selectionModel()->clear();
}

}  // namespace shell
