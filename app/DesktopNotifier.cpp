#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void DesktopNotifier::notify(const QString &summary, const QString &body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application, no notification to replace, icon, texts, no actions, no
    // hints, and the server's own time on screen.
    call << QStringLiteral("Mardock") << uint(0) << QStringLiteral("mardock") << summary << body
         << QStringList() << QVariantMap() << -1;
    bus.send(call);
}
