#pragma once

#include <QString>

// The window system the program runs on. The dogs place and move their own windows, which a
// Wayland compositor does not let a program do; an X server does, and a Wayland desktop usually
// offers one (Xwayland).
namespace DesktopPlatform {

// Before the application object exists: on a Wayland desktop with an X display, the program
// goes through X (and falls back to Wayland when that display cannot be reached). A platform
// the user named in QT_QPA_PLATFORM is used as given.
void chooseBeforeStart();
// After it exists: QT_QPA_PLATFORM as the user left it, for the programs started from here.
void restoreEnvironment();

// True on a platform where the dogs cannot be placed.
bool dogsCannotWalk();
QString dogsCannotWalkText();
// Says so in a message box, once per start; nothing where the dogs can walk.
void tellIfDogsCannotWalk();

} // namespace DesktopPlatform
