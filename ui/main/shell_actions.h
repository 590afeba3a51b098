#pragma once

#include <QString>

// Hands files to the desktop: opening one with its default application and showing one in the
// file manager. No shell is ever started.
class ShellActions {
public:
    virtual ~ShellActions() = default;

    virtual void openWithDefaultApplication(const QString& path);
    // Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems) to show the
    // file selected; opens its folder instead when no file manager answers.
    virtual void showInFileManager(const QString& path);
    // A web or mail address for a command that ignores the outcome.
    virtual void openUrl(const QString& url);
    // The same for a hyperlink, which reports a failure: UrlOpener's result code.
    virtual int openHyperlink(const QString& url);
};
