#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

class MainWindow;

namespace guitest {

// A fresh folder for one test with VELMORA_CONFIG_DIR, HOME and the XDG folders pointing into
// it, so no test touches the real settings or Documents folder. MIDI needs no SoundFont here.
class Sandbox {
public:
    Sandbox();
    QString path(const QString& name) const { return m_root.filePath(name); }
    std::string file(const QString& name) const { return path(name).toStdString(); }

private:
    QTemporaryDir m_root;
};

// A 16-bit stereo PCM WAV of a sine tone, written byte by byte.
void writeWav(const QString& path, double seconds, int sampleRate = 44100);
// A three-minute stereo song made by sox: quiet verses of plucked notes and one loud chorus
// from 60 s to 95 s (a quieter second chorus follows at 130 s). True when sox made it.
bool writeSongLikeFile(const QString& path);
// Bytes that no decoder accepts.
void writeJunk(const QString& path);

// Collects the window's message boxes instead of showing them.
struct MessageLog {
    std::vector<std::pair<QMessageBox::Icon, QString>> messages;
    void attach(MainWindow& window);
    QString last() const { return messages.empty() ? QString() : messages.back().second; }
};

// The visible top-level window of that class; none when there is none.
template <class Window> Window* findTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

// Writes a picture of the widget as `name` into the build folder (screenshots/), to be looked
// at; checks that the file holds the whole widget.
void saveScreenshot(QWidget& widget, const QString& name);

// Stores settings the way the program reads them, before a window is made.
void storeSetting(const std::string& name, const std::string& value);

} // namespace guitest
