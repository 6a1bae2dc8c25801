// How the desktop knows the window: its icon and the name of its .desktop entry.
#pragma once

class QGuiApplication;

namespace k3 {

// Sets the window icon (the program's own, in every size it is drawn in) and the desktop entry's name
// "k3gap", so task bars and window switchers show the menu's icon.
void applyAppIdentity(QGuiApplication& app);

}  // namespace k3
