// Writes pictures of the options sheet, one per page, and of the tag editor into the build
// folder (screenshots/), and checks that no label, check box or radio of a page is cut off.
#include "engine/conversion_settings.h"
#include "gui_test_support.h"
#include "ui/dialogs/tag_editor_dialog.h"
#include "ui/main/shell_actions.h"
#include "ui/options/options_sheet.h"

#include <QAbstractButton>
#include <QLabel>
#include <QtTest>

namespace {

// Texts narrower than they need are cut off; wrapped labels grow in height instead.
QStringList clippedTexts(QWidget& root) {
    QStringList clipped;
    for (QLabel* label : root.findChildren<QLabel*>()) {
        if (label->isVisible() && !label->wordWrap() &&
            label->width() < label->minimumSizeHint().width())
            clipped << label->text();
    }
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        if (button->isVisible() && button->width() < button->minimumSizeHint().width())
            clipped << button->text();
    }
    return clipped;
}

} // namespace

class OptionsScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void takesScreenshotsOfEveryPage();
};

void OptionsScreenshotTest::takesScreenshotsOfEveryPage() {
    guitest::Sandbox sandbox;
    velmora::ConversionSettings settings;
    settings.load();
    settings.AutoDestMP3EncodingParam = 0;
    settings.AutoDestAACEncodingParam = 0;
    settings.MP3ID3TagType = 0;
    ShellActions shell;
    const char* const names[] = {"general", "mp3", "wav", "wma", "ogg", "amr", "aac", "m4a"};
    for (int index = 0; index < 8; ++index) {
        settings.OptStartPageIndex = index;
        OptionsSheet sheet(settings, shell);
        QCOMPARE(sheet.pageCount(), 8);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        guitest::saveScreenshot(
            sheet, QStringLiteral("options-%1-%2.png").arg(index).arg(QLatin1String(names[index])));
        const QStringList clipped = clippedTexts(*sheet.page(index));
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1String(" | "))));
    }
    for (const bool showCopyright : {true, false}) {
        velmora::TagPreset preset;
        preset.Artist = "The Examples";
        preset.Genre = "Ambient";
        preset.TrackNumType = 2;
        TagEditorDialog editor(preset, showCopyright);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        const QStringList clipped = clippedTexts(editor);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1String(" | "))));
        guitest::saveScreenshot(editor, showCopyright ? QStringLiteral("tag-editor.png")
                                                      : QStringLiteral("tag-editor-mp4.png"));
    }
}

QTEST_MAIN(OptionsScreenshotTest)
#include "test_options_screenshots.moc"
