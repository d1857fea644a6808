#include "Browser.h"

#include <QDesktopServices>

namespace {

bool (*g_opener)(const QUrl &) = nullptr;

} // namespace

namespace Browser {

bool open(const QUrl &address)
{
    if (g_opener)
        return g_opener(address);
    return QDesktopServices::openUrl(address);
}

void setOpener(bool (*opener)(const QUrl &)) { g_opener = opener; }

} // namespace Browser
