#include "ui/help/url_opener.h"

#include "platform/desktop_entry_exec.h"
#include "platform/desktop_entry_file.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <new>

namespace {

// xdg-mime is a shell script that reads a few files; one that takes longer is stuck.
constexpr int kQueryTimeoutMs = 3000;

QString tr(const char* text) {
    return QCoreApplication::translate("UrlOpener", text);
}

// The full path of the program a command line names, looked up on PATH when it has no folder.
QString resolveProgram(const QString& program) {
    if (program.contains(QLatin1Char('/')))
        return program;
    return QStandardPaths::findExecutable(program);
}

} // namespace

int UrlOpener::open(const QString& url) {
    try {
        if (openWithDesktop(QUrl(url)))
            return kOpened;
        int result = kOpened;
        const QStringList command = fallbackCommand(defaultBrowserEntry(), url, result);
        if (command.isEmpty())
            return result;
        return startDetached(command.front(), command.mid(1)) ? kOpened : kOutOfResources;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

QStringList UrlOpener::fallbackCommand(const QString& desktopId, const QString& url, int& result) {
    if (desktopId.isEmpty()) {
        result = kNoAssociation;
        return {};
    }
    const std::string file = velmora::DesktopEntryFile::find(
        desktopId.toStdString(), velmora::DesktopEntryFile::applicationFolders());
    if (file.empty()) {
        result = kFileNotFound;
        return {};
    }
    const auto exec = velmora::DesktopEntryFile::readExec(file);
    const auto command =
        exec ? velmora::DesktopEntryExec::commandFor(*exec, url.toStdString()) : std::nullopt;
    if (!command) {
        result = kBadAssociation;
        return {};
    }
    const QString program = resolveProgram(QString::fromStdString(command->front()));
    const QFileInfo programFile(program);
    if (program.isEmpty() || !programFile.exists()) {
        result = kFileNotFound;
        return {};
    }
    if (!programFile.isFile() || !programFile.isExecutable()) {
        result = kAccessDenied;
        return {};
    }
    QStringList arguments{programFile.absoluteFilePath()};
    for (std::size_t i = 1; i < command->size(); ++i)
        arguments << QString::fromStdString((*command)[i]);
    result = kOpened;
    return arguments;
}

bool UrlOpener::openWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QString UrlOpener::defaultBrowserEntry() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(kQueryTimeoutMs);
        return {};
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return {};
    // One id on the first line; more is not an answer.
    return QString::fromUtf8(query.readAllStandardOutput())
        .section(QLatin1Char('\n'), 0, 0)
        .trimmed();
}

bool UrlOpener::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

QString UrlOpener::failureMessage(int result) {
    return tr("Unable to open hyperlink:\n\n") + reason(result);
}

QString UrlOpener::reason(int result) {
    switch (result) {
    case 0:
        return tr("The operating system is out\nof memory or resources.");
    case 2:
        return tr("The specified file was not found.");
    case 3:
        return tr("The specified path was not found.");
    case 5:
        return tr("The operating system denied\naccess to the specified file.");
    case 8:
        return tr("There was not enough memory to complete the operation.");
    case 11:
        return tr("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26:
        return tr("A sharing violation occurred. ");
    case 27:
        return tr("The filename association is\nincomplete or invalid.");
    case 28:
        return tr("The DDE transaction could not\nbe completed because the request timed out.");
    case 29:
        return tr("The DDE transaction failed.");
    case 30:
        return tr("The DDE transaction could not\nbe completed because other DDE "
                  "transactions\nwere being processed.");
    case 31:
        return tr("There is no application associated\nwith the given filename extension.");
    case 32:
        return tr("The specified dynamic-link library was not found.");
    default:
        return tr("Unknown Error (%1) occurred.").arg(result);
    }
}
