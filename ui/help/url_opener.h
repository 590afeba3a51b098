#pragma once

#include <QString>
#include <QStringList>

class QUrl;

// Opens a web or mail address the way the desktop does, with the default browser's own command
// line as the fallback, and says how it went in the result codes the hyperlink report reads.
// Every program is started detached with an argument vector: no shell, and a handler that
// hangs never holds the program.
class UrlOpener {
public:
    // Result codes: above kLastFailure is success; the failures are the sentences of the
    // hyperlink report that describe them best.
    static constexpr int kOutOfResources = 0;  // the fallback program could not be started
    static constexpr int kFileNotFound = 2;    // the browser's entry or program is missing
    static constexpr int kAccessDenied = 5;    // the browser's program may not be run
    static constexpr int kOutOfMemory = 8;     // memory ran out building the command
    static constexpr int kBadAssociation = 27; // the browser's entry has no usable Exec line
    static constexpr int kNoAssociation = 31;  // no default browser is set
    static constexpr int kLastFailure = 32;
    static constexpr int kOpened = 42;

    virtual ~UrlOpener() = default;

    int open(const QString& url);

    // The program and arguments the fallback starts for `url` from the desktop entry with this
    // id; with `result` set to the failure when there are none.
    static QStringList fallbackCommand(const QString& desktopId, const QString& url, int& result);

    // "Unable to open hyperlink:\n\n" and the sentence for the code.
    static QString failureMessage(int result);
    static QString reason(int result);

protected:
    // The desktop's own handler (xdg-open or the portal, through Qt).
    virtual bool openWithDesktop(const QUrl& url);
    // The id of the desktop entry of the default web browser ("xdg-mime query default
    // text/html"); empty when there is none or the query fails or takes too long.
    virtual QString defaultBrowserEntry();
    virtual bool startDetached(const QString& program, const QStringList& arguments);
};
