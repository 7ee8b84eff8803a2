#pragma once

#include <QIcon>
#include <QString>

// What ties the running program to its installed desktop entry: the application id and the icon.
namespace DesktopIdentity {

// The reverse-DNS id, also the file name of the desktop entry, the icon and the metainfo.
QString appId();

// The icon theme's copy where the desktop has one, otherwise the one compiled in (an uninstalled build).
QIcon icon();

// Call once the QApplication exists: names the desktop entry the windows belong to (Wayland
// compositors match windows to entries by it) and sets the icon of every window.
void apply();

}  // namespace DesktopIdentity
