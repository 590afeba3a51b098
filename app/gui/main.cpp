#include "platform/bass/decoding_library.h"
#include "ui/main/main_window.h"
#include "ui/widgets/icon_painter.h"
#include "ui/widgets/tooltip_style.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The name comes first: it is the caption of every message the program shows.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication application(argc, argv);
    QApplication::setStyle(new TooltipStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    QApplication::setWindowIcon(IconPainter::windowIcon());

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
    QTimer::singleShot(0, &window, [&window, paths] { window.addStartupPaths(paths); });
    return QApplication::exec();
}
