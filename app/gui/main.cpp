#include "platform/bass/decoding_library.h"
#include "platform/program_folder.h"
#include "ui/main/main_window.h"
#include "ui/widgets/program_icon.h"
#include "ui/widgets/tooltip_style.h"
#include "velmora_version.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = R"(Usage: velmora [FILE|FOLDER]...
The desktop audio converter. Files and folders named here are put in its list.

  --help     show this help and where the manual is
  --version  show the version
)";

// --help and --version are answered before Qt starts, so they work without a display.
bool answeredWithoutWindow(int argc, char** argv, int& status) {
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << velmora::kProgramVersionLine << '\n';
    } else if (std::strcmp(argv[1], "--help") == 0) {
        const std::string help = velmora::ProgramFolder::findDataFolder("help");
        std::cout << kUsage << "\nManual: "
                  << (help.empty() ? std::string("not found (no help folder beside the program "
                                                 "nor in ../share/velmora/)")
                                   : help + "index.html")
                  << '\n';
    } else {
        return false;
    }
    status = 0;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (int status = 0; answeredWithoutWindow(argc, argv, status))
        return status;
    // The name comes first: it is the caption of every message the program shows.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication application(argc, argv);
    QApplication::setStyle(new TooltipStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    QApplication::setWindowIcon(ProgramIcon::icon());

    // The decoding layer lives as long as the program.
    const auto decodingLibrary = velmora::DecodingLibrary::start();
    if (!decodingLibrary) {
        QMessageBox::critical(nullptr, QStringLiteral("Velmora"),
                              QObject::tr("Failed to initialize the software (0x0002020)."));
        return 1;
    }

    // Qt has taken its own options out of argv; the rest name files to add ("Open With"),
    // kept as the bytes the system gave.
    std::vector<std::string> paths(argv + 1, argv + argc);

    MainWindow window;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    window.showFirstRunHelp();
    QTimer::singleShot(0, &window, [&window, paths] { window.addStartupPaths(paths); });
    return QApplication::exec();
}
