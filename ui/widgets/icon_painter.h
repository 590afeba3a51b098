#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icons, drawn in code so that no picture file has to be shipped or borrowed.
class IconPainter {
public:
    enum class Glyph {
        AddFiles,
        Remove,
        PlaySource,
        PlayDestination,
        HelpTopics,
        Homepage,
        TellAFriend,
        Feedback,
        CheckVersion,
        About,
        TitleHelp,
        TitleMinimise,
        TitleClose,
    };

    // The window icon: a speaker cone with two sound waves on a round badge.
    static QIcon windowIcon();
    static QPixmap windowPixmap(int size);
    // A 16 × 15 menu image or a 21 × 21 title-button image.
    static QIcon glyphIcon(Glyph glyph);
    static QPixmap glyphPixmap(Glyph glyph, QSize size);
};
