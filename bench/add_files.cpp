// Adds 1,000 generated files (WAV, MP3, FLAC, OGG) through the code the Add Folder command uses
// (the folder walk, then the adding loop with its progress window) and prints its time next to
// ffprobe's over the same files. Usage: velmora_bench_add_files [COUNT]
#include "engine/file_list.h"
#include "platform/bass/decoding_library.h"
#include "ui/dialogs/add_progress_dialog.h"
#include "ui/main/file_adder.h"
#include "ui/main/file_collector.h"
#include "ui/main/file_list_model.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(-1))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Four one-second sources made by ffmpeg, copied to `count` files in sub-folders of 100.
bool makeFiles(const QString& root, int count) {
    const QStringList extensions = {QStringLiteral("wav"), QStringLiteral("mp3"),
                                    QStringLiteral("flac"), QStringLiteral("ogg")};
    for (const QString& extension : extensions) {
        const QStringList arguments = {
            QStringLiteral("-v"),
            QStringLiteral("error"),
            QStringLiteral("-y"),
            QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("sine=frequency=440:duration=1:sample_rate=44100"),
            QStringLiteral("-ac"),
            QStringLiteral("2"),
            root + QStringLiteral("/seed.") + extension};
        if (!runTool(QStringLiteral("ffmpeg"), arguments))
            return false;
    }
    for (int i = 0; i < count; ++i) {
        const QString extension = extensions[i % extensions.size()];
        const QString folder =
            root + QStringLiteral("/set/%1").arg(i / 100, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        if (!QFile::copy(
                root + QStringLiteral("/seed.") + extension,
                folder +
                    QStringLiteral("/file%1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(extension)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const auto decodingLibrary = velmora::DecodingLibrary::start();
    QTemporaryDir root;
    if (!decodingLibrary || !root.isValid() || !makeFiles(root.path(), count)) {
        std::fprintf(stderr, "add_files: could not prepare the files (is ffmpeg installed?)\n");
        return 1;
    }
    const std::string folder = (root.path() + QStringLiteral("/set/")).toStdString();

    QElapsedTimer timer;
    timer.start();
    velmora::FileList list;
    FileListModel model(list);
    AddProgressDialog dialog(nullptr);
    dialog.open();
    std::vector<std::string> paths;
    FileCollector({}).collectFolder(folder, paths, [&dialog] {
        dialog.pumpMessages();
        return !dialog.cancelRequested();
    });
    const AddFailureReport report = FileAdder(model, dialog).addAll(paths);
    const double velmoraSeconds = timer.nsecsElapsed() / 1e9;
    std::printf("files: %d collected, %d listed, %d failed\n", static_cast<int>(paths.size()),
                model.rowCount(), report.count());
    std::printf("velmora add folder: %.3f s (%.2f ms per file)\n", velmoraSeconds,
                1000.0 * velmoraSeconds / count);
    std::fflush(stdout);

    // ffprobe over the same files in one run: one process that is given every file.
    QStringList probeArguments = {
        QStringLiteral("-v"),
        QStringLiteral("error"),
        QStringLiteral("-show_entries"),
        QStringLiteral("stream=sample_rate,channels,bit_rate:format=duration"),
        QStringLiteral("-of"),
        QStringLiteral("csv=p=0")};
    QElapsedTimer probeTimer;
    probeTimer.start();
    QProcess probe;
    probe.setProgram(QStringLiteral("sh"));
    // One ffprobe per file, run back to back by one shell: ffprobe reads one input per call.
    probe.setArguments({QStringLiteral("-c"),
                        QStringLiteral("find \"$1\" -type f -exec ffprobe ") +
                            probeArguments.join(QLatin1Char(' ')) +
                            QStringLiteral(" {} \\; > /dev/null"),
                        QStringLiteral("sh"), QString::fromStdString(folder)});
    probe.start();
    probe.waitForFinished(-1);
    const double probeSeconds = probeTimer.nsecsElapsed() / 1e9;

    std::printf("ffprobe:            %.3f s (%.2f ms per file)\n", probeSeconds,
                1000.0 * probeSeconds / count);
    std::printf("ratio: %.4f (goal: at most 2)\n", velmoraSeconds / probeSeconds);
    return model.rowCount() == count ? 0 : 1;
}
