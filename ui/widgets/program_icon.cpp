#include "ui/widgets/program_icon.h"

#include "platform/program_folder.h"
#include "ui/widgets/icon_painter.h"

#include <QFileInfo>

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

QIcon fileIcon() {
    const QString folder = QString::fromStdString(velmora::ProgramFolder::path());
    if (folder.isEmpty())
        return {};
    for (const QString& hicolor : {folder + QStringLiteral("icons/hicolor"),
                                   folder + QStringLiteral("../share/icons/hicolor")}) {
        const QIcon icon = ProgramIcon::fromHicolorFolder(hicolor);
        if (!icon.isNull())
            return icon;
    }
    return {};
}

} // namespace

QIcon ProgramIcon::fromHicolorFolder(const QString& hicolorFolder) {
    QIcon icon;
    for (const int size : kSizes) {
        const QString file = QStringLiteral("%1/%2x%2/apps/%3.png")
                                 .arg(hicolorFolder)
                                 .arg(size)
                                 .arg(QLatin1String(kThemeName));
        if (QFileInfo(file).isFile())
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

QIcon ProgramIcon::icon() {
    QIcon fallback = fileIcon();
    if (fallback.isNull())
        fallback = IconPainter::windowIcon();
    return QIcon::fromTheme(QLatin1String(kThemeName), fallback);
}
