// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_tray_shell.h"

namespace widgets {

using widgets::deliverTrayNotification;
using widgets::NotifyIconData;

bool FakeTrayShell::add(const NotifyIconData& data, const QIcon& icon) {
    requests.push_back({Op::Add, data, icon});
    return addSucceeds;
}

bool FakeTrayShell::modify(const NotifyIconData& data, const QIcon& icon) {
    requests.push_back({Op::Modify, data, icon});
    return modifySucceeds;
}

bool FakeTrayShell::remove(const NotifyIconData& data) {
    requests.push_back({Op::Remove, data, QIcon()});
    return removeSucceeds;
}

void FakeTrayShell::setMenu(const NotifyIconData&, QMenu* given) { menu = given; }

bool FakeTrayShell::notify(int32_t mouseMessage) const {
    return !requests.empty() && deliverTrayNotification(requests.back().data, mouseMessage);
}

}  // namespace widgets
