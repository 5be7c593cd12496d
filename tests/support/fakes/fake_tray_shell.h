// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A notification area for tests: it records every request with a copy of
// its record and answers with the outcome set in advance.
#include "widgets/tray_shell.h"

#include <vector>

namespace widgets {

class FakeTrayShell : public TrayShell {
public:
    enum class Op { Add, Modify, Remove };
    struct Request {
        Op op;
        NotifyIconData data;
        QIcon icon;  // empty for Remove
    };

    bool add(const NotifyIconData& data, const QIcon& icon) override;
    bool modify(const NotifyIconData& data, const QIcon& icon) override;
    bool remove(const NotifyIconData& data) override;
    void setMenu(const NotifyIconData& data, QMenu* menu) override;

    // Sends a mouse notification for the record of the last request, as the
    // shell does for its icon. False when there is none or its window is gone.
    bool notify(int32_t mouseMessage) const;

    std::vector<Request> requests;
    QMenu* menu = nullptr;  // the last menu given
    bool addSucceeds = true;
    bool modifySucceeds = true;
    bool removeSucceeds = true;
};

}  // namespace widgets
