// The window's side of the desktop identity: the id matches the installed files' names and the
// compiled-in icon is a real drawing at every size a desktop asks for.
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include "desktop_identity.h"

class DesktopIdentityTest : public QObject {
  Q_OBJECT

 private slots:
  void appIdNamesTheDesktopEntryAndItsIcon();
  void iconIsDrawnAtEachSize_data();
  void iconIsDrawnAtEachSize();
  void applyTiesTheApplicationToTheEntry();
};

void DesktopIdentityTest::appIdNamesTheDesktopEntryAndItsIcon() {
  const QString entryPath = QStringLiteral(TARVOLIN_DESKTOP_ENTRY);
  QVERIFY2(entryPath.endsWith(QStringLiteral("/") + DesktopIdentity::appId() + QStringLiteral(".desktop")),
           qPrintable(entryPath));
  QFile entry(entryPath);
  QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
  const QByteArray text = entry.readAll();
  QVERIFY(text.contains("\nIcon=" + DesktopIdentity::appId().toUtf8() + "\n"));
}

void DesktopIdentityTest::iconIsDrawnAtEachSize_data() {
  QTest::addColumn<int>("size");
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QTest::addRow("%d px", size) << size;
  }
}

void DesktopIdentityTest::iconIsDrawnAtEachSize() {
  QFETCH(int, size);
  const QIcon icon = DesktopIdentity::icon();
  QVERIFY(!icon.isNull());
  QVERIFY2(icon.availableSizes().contains(QSize(size, size)), "no rendering of exactly this size");
  const QImage image = icon.pixmap(QSize(size, size)).toImage();
  QCOMPARE(image.size(), QSize(size, size));
  // Drawn rather than blank: the rounded corner stays see-through, the middle is covered.
  QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
  QCOMPARE(image.pixelColor(size / 2, size / 2).alpha(), 255);
}

void DesktopIdentityTest::applyTiesTheApplicationToTheEntry() {
  DesktopIdentity::apply();
  QCOMPARE(QGuiApplication::desktopFileName(), DesktopIdentity::appId());
  QVERIFY(!QGuiApplication::windowIcon().isNull());
  QVERIFY(QGuiApplication::windowIcon().availableSizes().contains(QSize(256, 256)));
}

QTEST_MAIN(DesktopIdentityTest)
#include "tst_desktop_identity.moc"
