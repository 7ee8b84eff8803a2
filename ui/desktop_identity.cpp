#include "desktop_identity.h"

#include <QDir>
#include <QGuiApplication>

QString DesktopIdentity::appId() {
  return QStringLiteral(TARVOLIN_APP_ID);
}

QIcon DesktopIdentity::icon() {
  // Every size rendered from the SVG at build time; Qt picks the closest one for each use.
  const QDir renderings(QStringLiteral(":/app-icon"));
  QIcon compiledIn;
  for (const QString& name : renderings.entryList({appId() + QStringLiteral("-*.png")}, QDir::Files))
    compiledIn.addFile(renderings.filePath(name));
  return QIcon::fromTheme(appId(), compiledIn);
}

void DesktopIdentity::apply() {
  QGuiApplication::setDesktopFileName(appId());
  QGuiApplication::setWindowIcon(icon());
}
