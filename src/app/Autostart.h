#pragma once

#include <QString>

// The desktop's autostart entry (XDG autostart) that starts this copy of the program at login.
namespace Autostart {

// $XDG_CONFIG_HOME/autostart/example.wanderpup.wanderpup.desktop (~/.config by default).
QString entryPath();
// The entry's text for `program`, the executable; `home` is the program folder named by
// WANDERPUP_HOME, empty when the program finds its folder itself.
QByteArray entryText(const QString &program, const QString &home);
// Whether the entry is there and starts this copy.
bool isOn();
// Writes the entry for this copy, or removes it (only when it starts this copy: an entry of
// another copy is left alone). False when the file could not be written or removed.
bool set(bool on);

} // namespace Autostart
