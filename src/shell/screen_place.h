// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Placing top-level windows on the screen.
class QWidget;

namespace shell {

// Moves the window so that its frame is centred on the available area of its
// screen. Before the window is first shown its frame is not known yet and
// its own size stands in for it.
void centreOnScreen(QWidget* window);

}  // namespace shell
