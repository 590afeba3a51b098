#include "gui_test_support.h"

#include "engine/conversion_settings.h"
#include "ui/main/main_window.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cmath>

namespace guitest {

Sandbox::Sandbox() {
    QVERIFY(m_root.isValid());
    QDir(m_root.path()).mkpath(QStringLiteral("home/Documents"));
    qputenv("VELMORA_CONFIG_DIR", path(QStringLiteral("config")).toUtf8());
    qputenv("HOME", path(QStringLiteral("home")).toUtf8());
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("home/.config")).toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", path(QStringLiteral("home/Documents")).toUtf8());
    qputenv("VELMORA_SOUNDFONT_PATH", "");
}

namespace {

void appendLE(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

void writeWav(const QString& path, double seconds, int sampleRate) {
    const auto frames = static_cast<quint32>(seconds * sampleRate);
    const quint32 dataBytes = frames * 4;
    QByteArray bytes("RIFF");
    appendLE(bytes, 36 + dataBytes, 4);
    bytes.append("WAVEfmt ");
    appendLE(bytes, 16, 4);
    appendLE(bytes, 1, 2); // PCM
    appendLE(bytes, 2, 2);
    appendLE(bytes, static_cast<quint32>(sampleRate), 4);
    appendLE(bytes, static_cast<quint32>(sampleRate) * 4, 4);
    appendLE(bytes, 4, 2);
    appendLE(bytes, 16, 2);
    bytes.append("data");
    appendLE(bytes, dataBytes, 4);
    for (quint32 frame = 0; frame < frames; ++frame) {
        const auto sample =
            static_cast<qint16>(8000 * std::sin(frame * 2 * M_PI * 440 / sampleRate));
        appendLE(bytes, static_cast<quint16>(sample), 2);
        appendLE(bytes, static_cast<quint16>(sample), 2);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

namespace {

// sox effect chains, one note each, that play `seconds` of notes of `noteSeconds` at `volume`.
void appendNotes(QStringList& arguments, double seconds, double noteSeconds, double volume,
                 const QStringList& tune) {
    const int count = static_cast<int>(seconds / noteSeconds + 0.5);
    for (int i = 0; i < count; ++i) {
        if (!arguments.isEmpty())
            arguments << QStringLiteral(":");
        arguments << QStringLiteral("synth") << QString::number(noteSeconds)
                  << QStringLiteral("pluck") << tune[i % tune.size()] << QStringLiteral("vol")
                  << QString::number(volume);
    }
}

} // namespace

bool writeSongLikeFile(const QString& path) {
    const QStringList verse = {"A3", "C4", "E4", "C4", "G3", "B3", "D4", "B3"};
    const QStringList chorus = {"A4", "E5", "C5", "E5", "G4", "D5", "B4", "D5"};
    QStringList effects;
    appendNotes(effects, 20, 0.5, 0.12, verse);   // intro, 0-20 s
    appendNotes(effects, 40, 0.4, 0.25, verse);   // verse, 20-60 s
    appendNotes(effects, 35, 0.25, 0.95, chorus); // chorus, 60-95 s
    appendNotes(effects, 35, 0.4, 0.25, verse);   // verse, 95-130 s
    appendNotes(effects, 25, 0.25, 0.55, chorus); // second chorus, 130-155 s
    appendNotes(effects, 25, 0.5, 0.12, verse);   // outro, 155-180 s
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              QStringList{"-n", "-r", "44100", "-c", "2", "-b", "16", path} + effects);
    return sox.waitForFinished(120000) && sox.exitStatus() == QProcess::NormalExit &&
           sox.exitCode() == 0;
}

void writeJunk(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64, '\x5a'));
}

void MessageLog::attach(MainWindow& window) {
    window.setMessagePresenter(
        [this](QMessageBox::Icon icon, const QString& text) { messages.emplace_back(icon, text); });
}

void saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(VELMORA_SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QLatin1Char('/') + name;
    QVERIFY2(widget.grab().save(file), qPrintable(file));
    QCOMPARE(QImage(file).size(), widget.size());
}

void storeSetting(const std::string& name, const std::string& value) {
    velmora::ConversionSettings settings;
    settings.load();
    QCOMPARE(settings.setValue(name, value), velmora::ConversionSettings::SetResult::Ok);
    QVERIFY(settings.saveValue(name));
}

} // namespace guitest
