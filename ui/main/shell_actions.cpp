#include "ui/main/shell_actions.h"

#include "ui/help/url_opener.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

// A file manager that does not answer within this many milliseconds counts as absent.
constexpr int kFileManagerTimeoutMs = 3000;

bool askFileManager(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusInterface fileManager(QStringLiteral("org.freedesktop.FileManager1"),
                               QStringLiteral("/org/freedesktop/FileManager1"),
                               QStringLiteral("org.freedesktop.FileManager1"), bus);
    if (!fileManager.isValid())
        return false;
    fileManager.setTimeout(kFileManagerTimeoutMs);
    const QDBusMessage reply = fileManager.call(
        QStringLiteral("ShowItems"),
        QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}, QString());
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

void ShellActions::openWithDefaultApplication(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void ShellActions::showInFileManager(const QString& path) {
    if (askFileManager(path))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void ShellActions::openUrl(const QString& url) {
    openHyperlink(url);
}

int ShellActions::openHyperlink(const QString& url) {
    return UrlOpener().open(url);
}
