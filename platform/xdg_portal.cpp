// SPDX-License-Identifier: GPL-3.0-or-later
// The XDG desktop portal's program chooser: Linux desktops only (QtDBus).
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QVariantMap>

#include "platform/document_opener.h"

namespace quillet {

bool PortalChooseProgram(const QString& path) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
  QDBusConnectionInterface* bus_interface = bus.interface();
  if (bus_interface == nullptr) return false;
  const bool running = bus_interface->isServiceRegistered(service).value();
  if (!running) {
    const QDBusReply<QStringList> activatable = bus.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                       QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"),
                                       QStringLiteral("ListActivatableNames")),
        QDBus::Block, 2000);
    if (!activatable.isValid() || !activatable.value().contains(service)) {
      return false;
    }
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QDBusInterface portal(service,
                        QStringLiteral("/org/freedesktop/portal/desktop"),
                        QStringLiteral("org.freedesktop.portal.OpenURI"), bus);
  portal.setTimeout(10000);
  QVariantMap options;
  options.insert(QStringLiteral("ask"), true);
  const QDBusMessage reply = portal.call(
      QStringLiteral("OpenFile"), QString(),
      QVariant::fromValue(QDBusUnixFileDescriptor(file.handle())), options);
  return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace quillet
