#pragma once

#include <QUrl>

namespace Browser {

// Opens `address` in the user's web browser; false when no browser could be started.
bool open(const QUrl &address);

// Tests replace the browser call to see what would have been opened.
void setOpener(bool (*opener)(const QUrl &));

} // namespace Browser
