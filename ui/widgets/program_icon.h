#pragma once

#include <QIcon>
#include <QString>

// The program's icon as the desktop knows it: the icon theme's "velmora" when installed,
// else the PNG files of the icon beside the program (the build tree's icons/hicolor, or the
// ../share/icons/hicolor of an installation into a prefix the theme does not search), else the
// icon drawn in code.
class ProgramIcon {
public:
    static constexpr const char* kThemeName = "velmora";

    static QIcon icon();
    // The icon built from the PNG files found in `hicolorFolder`; null when there are none.
    static QIcon fromHicolorFolder(const QString& hicolorFolder);
};
