// The format pages of the options sheet and the tag editor, driven as a user drives them:
// the radio mappings in and out, preset matching on opening, the MP3 compatibility steps, the
// Auto rule and the refusals to leave a page or close the editor.
#include "engine/conversion_settings.h"
#include "gui_test_support.h"
#include "platform/genre_list.h"
#include "ui/dialogs/tag_editor_dialog.h"
#include "ui/main/shell_actions.h"
#include "ui/options/aac_page.h"
#include "ui/options/amr_page.h"
#include "ui/options/m4a_page.h"
#include "ui/options/mp3_page.h"
#include "ui/options/ogg_page.h"
#include "ui/options/options_sheet.h"
#include "ui/options/wav_page.h"
#include "ui/options/wma_page.h"
#include "ui/widgets/amplification_group.h"
#include "ui/widgets/bounded_step_spin_box.h"
#include "ui/widgets/tag_group.h"
#include "ui/widgets/value_list.h"
#include "writers/wma_format_list.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <map>
#include <memory>

using velmora::ConversionSettings;

namespace {

constexpr int kMp3PageIndex = 1;
constexpr int kWavPageIndex = 2;
constexpr int kWmaPageIndex = 3;
constexpr int kOggPageIndex = 4;
constexpr int kAmrPageIndex = 5;
constexpr int kAacPageIndex = 6;
constexpr int kM4aPageIndex = 7;
constexpr int kSame = 0; // "Same as original file"

// Picks an entry as a click does, signals included.
void pick(ValueList& list, int value) {
    const int index = list.findData(value);
    QVERIFY2(index >= 0, qPrintable(QStringLiteral("no entry %1").arg(value)));
    list.setCurrentIndex(index);
    emit list.activated(index);
}

int ConversionSettings::*channelMember(const QString& name) {
    static const std::map<QString, int ConversionSettings::*> members = {
        {QStringLiteral("MP3ChannelMode"), &ConversionSettings::MP3ChannelMode},
        {QStringLiteral("WAVChannelNum"), &ConversionSettings::WAVChannelNum},
        {QStringLiteral("OGGChannels"), &ConversionSettings::OGGChannels},
        {QStringLiteral("AACVBR"), &ConversionSettings::AACVBR},
        {QStringLiteral("AACMpegVersion"), &ConversionSettings::AACMpegVersion},
        {QStringLiteral("M4AVBR"), &ConversionSettings::M4AVBR},
    };
    return members.at(name);
}

} // namespace

class FormatPagesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void channelRadiosMapBothWays_data();
    void channelRadiosMapBothWays();
    void openingMatchesPreset_data();
    void openingMatchesPreset();
    void mp3KeepsRateAndBitRateCompatible_data();
    void mp3KeepsRateAndBitRateCompatible();
    void autoKeepsExplicitValues();
    void amplificationRefusesToLeave_data();
    void amplificationRefusesToLeave();
    void mp3TagChoiceEnablesItsControls();
    void oggKeepsBitRateWithinLimits_data();
    void oggKeepsBitRateWithinLimits();
    void wmaSelectsCatalogueEntry_data();
    void wmaSelectsCatalogueEntry();
    void amrUnknownModeOpensOnFifthEntry();
    void aacQualityCheckedOnlyForManualVbr_data();
    void aacQualityCheckedOnlyForManualVbr();
    void aacResetRestoresEncoderPart();
    void tagEditorEditsACopy();
    void tagEditorRefusesTrackNumbers_data();
    void tagEditorRefusesTrackNumbers();

private:
    std::unique_ptr<guitest::Sandbox> m_sandbox;
    ConversionSettings m_settings;
    ShellActions m_shell;
    QStringList m_messages;

    std::unique_ptr<OptionsSheet> openSheet(int pageIndex);
    template <class Page> Page& page(OptionsSheet& sheet, int index) {
        return *qobject_cast<Page*>(sheet.page(index));
    }
};

void FormatPagesTest::init() {
    m_sandbox = std::make_unique<guitest::Sandbox>();
    m_settings = ConversionSettings();
    m_settings.load();
    m_messages.clear();
}

void FormatPagesTest::cleanup() {
    m_sandbox.reset();
}

std::unique_ptr<OptionsSheet> FormatPagesTest::openSheet(int pageIndex) {
    m_settings.OptStartPageIndex = pageIndex;
    auto sheet = std::make_unique<OptionsSheet>(m_settings, m_shell);
    sheet->setMessagePresenter(
        [this](QMessageBox::Icon, const QString& text) { m_messages << text; });
    sheet->show();
    return sheet;
}

void FormatPagesTest::channelRadiosMapBothWays_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("radio");
    QTest::addColumn<int>("storedBack");
    QTest::newRow("mp3 joint") << "MP3ChannelMode" << 1 << 0 << 1;
    QTest::newRow("mp3 stereo") << "MP3ChannelMode" << 0 << 1 << 0;
    QTest::newRow("mp3 mono") << "MP3ChannelMode" << 3 << 2 << 3;
    QTest::newRow("mp3 as source") << "MP3ChannelMode" << 4 << 3 << 4;
    QTest::newRow("mp3 dual opens as source") << "MP3ChannelMode" << 2 << 3 << 4;
    QTest::newRow("wav stereo") << "WAVChannelNum" << 2 << 0 << 2;
    QTest::newRow("wav mono") << "WAVChannelNum" << 1 << 1 << 1;
    QTest::newRow("wav as source") << "WAVChannelNum" << 0 << 2 << 0;
    QTest::newRow("wav unknown opens as source") << "WAVChannelNum" << 6 << 2 << 0;
    QTest::newRow("ogg stereo") << "OGGChannels" << 2 << 0 << 2;
    QTest::newRow("ogg mono") << "OGGChannels" << 1 << 1 << 1;
    QTest::newRow("ogg as source") << "OGGChannels" << 0 << 2 << 0;
    QTest::newRow("aac vbr") << "AACVBR" << 1 << 1 << 1;
    QTest::newRow("aac abr") << "AACVBR" << 0 << 0 << 0;
    QTest::newRow("aac odd vbr flag is abr") << "AACVBR" << 7 << 0 << 0;
    QTest::newRow("aac mpeg2") << "AACMpegVersion" << 1 << 1 << 1;
    QTest::newRow("aac odd mpeg version is mpeg2") << "AACMpegVersion" << 3 << 1 << 1;
    QTest::newRow("m4a vbr") << "M4AVBR" << 1 << 1 << 1;
    QTest::newRow("m4a odd vbr flag is abr") << "M4AVBR" << 2 << 0 << 0;
}

void FormatPagesTest::channelRadiosMapBothWays() {
    QFETCH(QString, setting);
    QFETCH(int, stored);
    QFETCH(int, radio);
    QFETCH(int, storedBack);
    for (int ConversionSettings::*autoFlag : {&ConversionSettings::AutoDestMP3EncodingParam,
                                              &ConversionSettings::AutoDestWAVEncodingParam,
                                              &ConversionSettings::AutoDestOGGEncodingParam,
                                              &ConversionSettings::AutoDestAACEncodingParam,
                                              &ConversionSettings::AutoDestM4AEncodingParam})
        m_settings.*autoFlag = 0;
    m_settings.*channelMember(setting) = stored;
    auto sheet = openSheet(0);
    QButtonGroup* radios = nullptr;
    if (setting.startsWith(QLatin1String("MP3")))
        radios = &page<Mp3Page>(*sheet, kMp3PageIndex).channelRadios();
    else if (setting.startsWith(QLatin1String("WAV")))
        radios = &page<WavPage>(*sheet, kWavPageIndex).channelRadios();
    else if (setting.startsWith(QLatin1String("OGG")))
        radios = &page<OggPage>(*sheet, kOggPageIndex).channelRadios();
    else if (setting == QLatin1String("AACMpegVersion"))
        radios = page<AacPage>(*sheet, kAacPageIndex).mpegVersionRadios();
    else if (setting.startsWith(QLatin1String("AAC")))
        radios = &page<AacPage>(*sheet, kAacPageIndex).rateModeRadios();
    else
        radios = &page<M4aPage>(*sheet, kM4aPageIndex).rateModeRadios();
    QCOMPARE(radios->checkedId(), radio);
    sheet->accept();
    QCOMPARE(m_settings.*channelMember(setting), storedBack);
}

void FormatPagesTest::openingMatchesPreset_data() {
    QTest::addColumn<int>("pageIndex");
    QTest::addColumn<int>("autoFlag");
    QTest::addColumn<int>("bits"); // MP3: kbit/s; WAV: bits per sample
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels"); // as stored
    QTest::addColumn<int>("preset");
    QTest::newRow("mp3 cd quality") << kMp3PageIndex << 0 << 128 << 44100 << 1 << 1416;
    QTest::newRow("mp3 cd values in stereo")
        << kMp3PageIndex << 0 << 128 << 44100 << 0 << Mp3Page::kCustomPreset;
    QTest::newRow("mp3 low quality mono") << kMp3PageIndex << 0 << 16 << 11025 << 3 << 648;
    QTest::newRow("mp3 low quality joint")
        << kMp3PageIndex << 0 << 16 << 11025 << 1 << Mp3Page::kCustomPreset;
    QTest::newRow("mp3 auto") << kMp3PageIndex << 1 << 16 << 11025 << 3 << Mp3Page::kAutoPreset;
    QTest::newRow("wav high quality") << kWavPageIndex << 0 << 16 << 44100 << 2 << 1433;
    QTest::newRow("wav low quality") << kWavPageIndex << 0 << 8 << 11025 << 1 << 665;
    QTest::newRow("wav mono at 44100")
        << kWavPageIndex << 0 << 16 << 44100 << 1 << WavPage::kCustomPreset;
    QTest::newRow("wav auto") << kWavPageIndex << 1 << 16 << 22050 << 2 << WavPage::kAutoPreset;
}

void FormatPagesTest::openingMatchesPreset() {
    QFETCH(int, pageIndex);
    QFETCH(int, autoFlag);
    QFETCH(int, bits);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, preset);
    if (pageIndex == kMp3PageIndex) {
        m_settings.AutoDestMP3EncodingParam = autoFlag;
        m_settings.MP3BitRate = bits;
        m_settings.MP3SampleRate = rate;
        m_settings.MP3ChannelMode = channels;
    } else {
        m_settings.AutoDestWAVEncodingParam = autoFlag;
        m_settings.WAVBitsPerSample = bits;
        m_settings.WAVSampleRate = rate;
        m_settings.WAVChannelNum = channels;
    }
    auto sheet = openSheet(pageIndex);
    ValueList& presets = pageIndex == kMp3PageIndex ? page<Mp3Page>(*sheet, pageIndex).presetList()
                                                    : page<WavPage>(*sheet, pageIndex).presetList();
    QCOMPARE(presets.value(), preset);
    ValueList& rates = pageIndex == kMp3PageIndex
                           ? page<Mp3Page>(*sheet, pageIndex).sampleRateList()
                           : page<WavPage>(*sheet, pageIndex).sampleRateList();
    QCOMPARE(rates.isEnabled(), autoFlag == 0);
}

void FormatPagesTest::mp3KeepsRateAndBitRateCompatible_data() {
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("pickBitRate"); // else the rate
    QTest::addColumn<int>("picked");
    QTest::addColumn<int>("expectedBitRate");
    QTest::addColumn<int>("expectedRate");
    QTest::addColumn<bool>("custom");
    QTest::newRow("320 kbps raises 22050 Hz")
        << 128 << 22050 << true << 320 << 320 << 32000 << true;
    QTest::newRow("8000 Hz lowers 128 kbps") << 128 << 44100 << false << 8000 << 64 << 8000 << true;
    QTest::newRow("48 kbps keeps 44100 Hz") << 128 << 44100 << true << 48 << 48 << 44100 << true;
    QTest::newRow("16 kbps lowers 44100 Hz") << 128 << 44100 << true << 16 << 16 << 24000 << true;
    QTest::newRow("96 kbps raises 8000 Hz") << 32 << 8000 << true << 96 << 96 << 16000 << true;
    QTest::newRow("48000 Hz raises 24 kbps")
        << 24 << 22050 << false << 48000 << 32 << 48000 << true;
    QTest::newRow("22050 Hz lowers 256 kbps")
        << 256 << 44100 << false << 22050 << 160 << 22050 << true;
    QTest::newRow("rate as source ignores bit rate")
        << 128 << kSame << true << 320 << 320 << kSame << false;
    QTest::newRow("bit rate as source ignores rate")
        << kSame << 44100 << false << 8000 << kSame << 8000 << false;
}

void FormatPagesTest::mp3KeepsRateAndBitRateCompatible() {
    QFETCH(int, bitRate);
    QFETCH(int, rate);
    QFETCH(bool, pickBitRate);
    QFETCH(int, picked);
    QFETCH(int, expectedBitRate);
    QFETCH(int, expectedRate);
    QFETCH(bool, custom);
    m_settings.AutoDestMP3EncodingParam = 0;
    m_settings.MP3BitRate = bitRate;
    m_settings.MP3SampleRate = rate;
    m_settings.MP3ChannelMode = 1;
    auto sheet = openSheet(kMp3PageIndex);
    Mp3Page& mp3 = page<Mp3Page>(*sheet, kMp3PageIndex);
    const int presetBefore = mp3.presetList().value();
    if (bitRate == 128 && rate == 44100)
        QCOMPARE(presetBefore, 1416);
    pick(pickBitRate ? mp3.bitRateList() : mp3.sampleRateList(), picked);
    QCOMPARE(mp3.bitRateList().value(), expectedBitRate);
    QCOMPARE(mp3.sampleRateList().value(), expectedRate);
    QCOMPARE(mp3.presetList().value(), custom ? Mp3Page::kCustomPreset : presetBefore);
    sheet->accept();
    QCOMPARE(m_settings.MP3BitRate, expectedBitRate);
    QCOMPARE(m_settings.MP3SampleRate, expectedRate);
}

void FormatPagesTest::autoKeepsExplicitValues() {
    m_settings.AutoDestMP3EncodingParam = 0;
    m_settings.MP3BitRate = 192;
    m_settings.MP3SampleRate = 48000;
    m_settings.MP3ChannelMode = 0;
    m_settings.AutoDestWAVEncodingParam = 0;
    m_settings.WAVBitsPerSample = 8;
    m_settings.WAVSampleRate = 96000;
    m_settings.WAVChannelNum = 1;
    {
        auto sheet = openSheet(kMp3PageIndex);
        Mp3Page& mp3 = page<Mp3Page>(*sheet, kMp3PageIndex);
        pick(mp3.presetList(), Mp3Page::kAutoPreset);
        QVERIFY(!mp3.bitRateList().isEnabled());
        WavPage& wav = page<WavPage>(*sheet, kWavPageIndex);
        pick(wav.presetList(), WavPage::kAutoPreset);
        sheet->accept();
    }
    ConversionSettings reloaded;
    QVERIFY(reloaded.load());
    for (const ConversionSettings* settings : {&m_settings, &reloaded}) {
        QCOMPARE(settings->AutoDestMP3EncodingParam, 1);
        QCOMPARE(settings->MP3BitRate, 192);
        QCOMPARE(settings->MP3SampleRate, 48000);
        QCOMPARE(settings->MP3ChannelMode, 0);
        QCOMPARE(settings->AutoDestWAVEncodingParam, 1);
        QCOMPARE(settings->WAVBitsPerSample, 8);
        QCOMPARE(settings->WAVSampleRate, 96000);
        QCOMPARE(settings->WAVChannelNum, 1);
    }
    // Leaving Auto again shows the kept values.
    auto sheet = openSheet(kMp3PageIndex);
    Mp3Page& mp3 = page<Mp3Page>(*sheet, kMp3PageIndex);
    pick(mp3.presetList(), Mp3Page::kCustomPreset);
    QVERIFY(mp3.bitRateList().isEnabled());
    QCOMPARE(mp3.bitRateList().value(), 192);
    QCOMPARE(mp3.channelRadios().checkedId(), 1);
    sheet->accept();
    QCOMPARE(m_settings.AutoDestMP3EncodingParam, 0);
    QCOMPARE(m_settings.MP3BitRate, 192);
}

void FormatPagesTest::amplificationRefusesToLeave_data() {
    QTest::addColumn<int>("pageIndex");
    QTest::addColumn<bool>("amplify");
    QTest::addColumn<int>("coefficient");
    QTest::addColumn<bool>("refused");
    for (const int index : {kMp3PageIndex, kWavPageIndex}) {
        const QByteArray name = index == kMp3PageIndex ? "mp3 " : "wav ";
        QTest::newRow(name + "5 on") << index << true << 5 << true;
        QTest::newRow(name + "5 off") << index << false << 5 << false;
        QTest::newRow(name + "10 on") << index << true << 10 << false;
        QTest::newRow(name + "3000 on") << index << true << 3000 << false;
        QTest::newRow(name + "3010 on") << index << true << 3010 << true;
    }
}

void FormatPagesTest::amplificationRefusesToLeave() {
    QFETCH(int, pageIndex);
    QFETCH(bool, amplify);
    QFETCH(int, coefficient);
    QFETCH(bool, refused);
    auto sheet = openSheet(pageIndex);
    AmplificationGroup& group = pageIndex == kMp3PageIndex
                                    ? page<Mp3Page>(*sheet, pageIndex).amplification()
                                    : page<WavPage>(*sheet, pageIndex).amplification();
    group.amplifyCheck().setChecked(amplify);
    group.coefficientBox().setValue(coefficient);
    sheet->selectPage(0);
    QCOMPARE(sheet->currentPageIndex(), refused ? pageIndex : 0);
    const QStringList expected{
        QStringLiteral("Invalid amplification coefficient. It's between 10 and 3000.")};
    QCOMPARE(m_messages, refused ? expected : QStringList());
    // The arrows never leave the range, whatever was typed.
    group.coefficientBox().setValue(2995);
    group.coefficientBox().stepBy(1);
    QCOMPARE(group.coefficientBox().value(), 3000);
    group.coefficientBox().setValue(5);
    group.coefficientBox().stepBy(-1);
    QCOMPARE(group.coefficientBox().value(), 10);
}

void FormatPagesTest::mp3TagChoiceEnablesItsControls() {
    m_settings.MP3ID3TagType = 2;
    m_settings.MP3WriteID3Version = 2;
    auto sheet = openSheet(kMp3PageIndex);
    Mp3Page& mp3 = page<Mp3Page>(*sheet, kMp3PageIndex);
    QVERIFY(!mp3.tagGroup().editButton().isEnabled());
    QVERIFY(!mp3.versionRadios().button(0)->isEnabled());
    mp3.tagGroup().radios().button(0)->click();
    QVERIFY(mp3.tagGroup().editButton().isEnabled());
    QVERIFY(mp3.versionRadios().button(0)->isEnabled());
    mp3.versionRadios().button(1)->click();
    mp3.tagGroup().radios().button(1)->click();
    QVERIFY(!mp3.tagGroup().editButton().isEnabled());
    QVERIFY(mp3.versionRadios().button(0)->isEnabled());
    sheet->accept();
    QCOMPARE(m_settings.MP3ID3TagType, 1);
    QCOMPARE(m_settings.MP3WriteID3Version, 1);
}

void FormatPagesTest::tagEditorEditsACopy() {
    velmora::TagPreset stored;
    stored.TitleAsFileName = 1;
    stored.Title = "Kept title";
    stored.Copyright = "(c) someone";
    stored.TrackNumType = 5;
    stored.CustomTrackNum = 7;
    for (const bool showCopyright : {true, false}) {
        TagEditorDialog editor(stored, showCopyright);
        editor.show();
        QCOMPARE(editor.copyrightShown(), showCopyright);
        QVERIFY(!editor.textEdit(TagEditorDialog::Title).isEnabled());
        QCOMPARE(editor.textEdit(TagEditorDialog::Title).text(), QStringLiteral("Kept title"));
        QCOMPARE(editor.trackGroup().checkedId(), 0);
        QVERIFY(!editor.trackNumberBox().isEnabled());
        editor.trackGroup().button(2)->click();
        QVERIFY(editor.trackNumberBox().isEnabled());

        QComboBox& genres = editor.genreBox();
        QCOMPARE(genres.count(), velmora::GenreList::kCount);
        for (int i = 1; i < genres.count(); ++i)
            QVERIFY(genres.itemText(i - 1).compare(genres.itemText(i), Qt::CaseInsensitive) <= 0);
        genres.setEditText(QStringLiteral("Not A Listed Genre"));
        editor.accept();
        QCOMPARE(editor.result(), int(QDialog::Accepted));
        const velmora::TagPreset edited = editor.preset();
        QCOMPARE(edited.Genre, std::string("Not A Listed Genre"));
        QCOMPARE(edited.Title, std::string("Kept title"));
        QCOMPARE(edited.Copyright, std::string("(c) someone"));
        QCOMPARE(edited.TrackNumType, 2);
        QCOMPARE(edited.CustomTrackNum, 7);
    }
    TagEditorDialog unknownType(stored, true);
    QCOMPARE(unknownType.preset().TrackNumType, 0);
}

void FormatPagesTest::tagEditorRefusesTrackNumbers_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QString() << "Please enter an integer.";
    QTest::newRow("too large") << "300"
                               << "Please enter an integer between 0 and 255.";
    QTest::newRow("largest") << "255" << QString();
    QTest::newRow("zero") << "0" << QString();
}

void FormatPagesTest::tagEditorRefusesTrackNumbers() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    velmora::TagPreset preset;
    preset.TrackNumType = 1; // checked whatever radio is chosen
    TagEditorDialog editor(preset, true);
    editor.setMessagePresenter(
        [this](QMessageBox::Icon, const QString& text) { m_messages << text; });
    editor.show();
    editor.trackNumberEdit().setText(typed);
    QCOMPARE(editor.trackNumberEdit().text(), typed);
    editor.accept();
    const bool refused = !message.isEmpty();
    QCOMPARE(m_messages, refused ? QStringList{message} : QStringList());
    QCOMPARE(editor.isVisible(), refused);
    if (!refused)
        QCOMPARE(editor.preset().CustomTrackNum, typed.toInt());
}

void FormatPagesTest::oggKeepsBitRateWithinLimits_data() {
    QTest::addColumn<int>("bitRate");
    QTest::addColumn<int>("channels");      // as stored
    QTest::addColumn<int>("pickedBitRate"); // 0: click the Mono radio instead
    QTest::addColumn<int>("expectedBitRate");
    QTest::addColumn<bool>("custom");
    QTest::newRow("480 kbps mono lowered") << 128 << 1 << 480 << 224 << true;
    QTest::newRow("480 kbps as source kept") << 128 << 0 << 480 << 480 << false;
    QTest::newRow("480 kbps stereo kept") << 128 << 2 << 480 << 480 << true;
    QTest::newRow("16 kbps stereo raised") << 128 << 2 << 16 << 48 << true;
    QTest::newRow("mono radio lowers 320") << 320 << 2 << 0 << 224 << true;
}

void FormatPagesTest::oggKeepsBitRateWithinLimits() {
    QFETCH(int, bitRate);
    QFETCH(int, channels);
    QFETCH(int, pickedBitRate);
    QFETCH(int, expectedBitRate);
    QFETCH(bool, custom);
    m_settings.AutoDestOGGEncodingParam = 0;
    m_settings.OGGBitRate = bitRate;
    m_settings.OGGSampleRate = 44100;
    m_settings.OGGChannels = channels;
    auto sheet = openSheet(kOggPageIndex);
    OggPage& ogg = page<OggPage>(*sheet, kOggPageIndex);
    const int presetBefore = ogg.presetList().value();
    if (pickedBitRate == 0)
        ogg.channelRadios().button(1)->click();
    else
        pick(ogg.bitRateList(), pickedBitRate);
    QCOMPARE(ogg.bitRateList().value(), expectedBitRate);
    QCOMPARE(ogg.presetList().value(), custom ? OggPage::kCustomPreset : presetBefore);
    sheet->accept();
    QCOMPARE(m_settings.OGGBitRate, expectedBitRate);
}

void FormatPagesTest::wmaSelectsCatalogueEntry_data() {
    QTest::addColumn<bool>("runtime");
    QTest::addColumn<int>("storedBitRate"); // bit/s
    QTest::addColumn<int>("entries");       // listed besides "Auto"
    QTest::addColumn<int>("selectedRow");   // -1: none
    QTest::newRow("matching entry") << true << 128000 << 3 << 2;
    QTest::newRow("same kilobits") << true << 128400 << 3 << 2;
    QTest::newRow("no matching entry") << true << 96000 << 3 << -1;
    QTest::newRow("runtime missing") << false << 128000 << 0 << -1;
}

void FormatPagesTest::wmaSelectsCatalogueEntry() {
    QFETCH(bool, runtime);
    QFETCH(int, storedBitRate);
    QFETCH(int, entries);
    QFETCH(int, selectedRow);
    velmora::WmaFormatList catalogue;
    if (runtime) {
        constexpr std::uint16_t kWma = velmora::WmfCodecInfo::kWmaFormatTag;
        const std::vector<velmora::WmfCodecFormat> offered = {
            {"tiny", {kWma, 8000, 1}, 500},
            {"low", {kWma, 22050, 1}, 32000},
            {"cd", {kWma, 44100, 2}, 128000},
            {"high", {kWma, 48000, 2}, 192000},
        };
        catalogue.build(offered);
    }
    m_settings.AutoDestWMAEncodingParam = 0;
    m_settings.WMASampleRate = 44100;
    m_settings.WMABitRate = storedBitRate;
    m_settings.WMAChannels = 2;
    m_settings.OptStartPageIndex = kWmaPageIndex;
    OptionsSheet sheet(m_settings, m_shell, nullptr, &catalogue);
    WmaPage& wma = page<WmaPage>(sheet, kWmaPageIndex);
    QCOMPARE(wma.formatList().count(), entries + 1);
    QCOMPARE(wma.formatList().itemText(0), QStringLiteral("Auto"));
    if (runtime)
        QCOMPARE(wma.formatList().itemText(2), QStringLiteral("44100 Hz, 128 kbps, Stereo"));
    QCOMPARE(wma.formatList().currentIndex(), selectedRow);
    sheet.accept();
    // Without a chosen format the conversion picks one itself; the explicit values stay.
    QCOMPARE(m_settings.AutoDestWMAEncodingParam, selectedRow < 0 ? 1 : 0);
    QCOMPARE(m_settings.WMABitRate, selectedRow < 0 ? storedBitRate : 128000);
    QCOMPARE(m_settings.WMASampleRate, 44100);
}

void FormatPagesTest::amrUnknownModeOpensOnFifthEntry() {
    m_settings.AMRType = 0;
    m_settings.AMRMode = 9;
    m_settings.AMRWBMode = 8;
    m_settings.AWBMode = -1;
    auto sheet = openSheet(kAmrPageIndex);
    AmrPage& amr = page<AmrPage>(*sheet, kAmrPageIndex);
    QCOMPARE(amr.narrowBandList().currentText(), QStringLiteral("7.4 kbps"));
    QCOMPARE(amr.wideBandList().currentText(), QStringLiteral("23.85 kbps"));
    QCOMPARE(amr.awbList().currentText(), QStringLiteral("15.85 kbps"));
    QVERIFY(amr.narrowBandList().isEnabled());
    QVERIFY(!amr.wideBandList().isEnabled());
    amr.bandRadios().button(1)->click();
    QVERIFY(!amr.narrowBandList().isEnabled());
    QVERIFY(amr.wideBandList().isEnabled());
    QVERIFY(amr.awbList().isEnabled());
    sheet->accept();
    QCOMPARE(m_settings.AMRType, 1);
    QCOMPARE(m_settings.AMRMode, 4);
    QCOMPARE(m_settings.AMRWBMode, 8);
    QCOMPARE(m_settings.AWBMode, 4);
}

void FormatPagesTest::aacQualityCheckedOnlyForManualVbr_data() {
    QTest::addColumn<int>("pageIndex");
    QTest::addColumn<bool>("autoOn");
    QTest::addColumn<bool>("vbr");
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("refused");
    for (const int index : {kAacPageIndex, kM4aPageIndex}) {
        const QByteArray name = index == kAacPageIndex ? "aac " : "m4a ";
        QTest::newRow(name + "auto, 5") << index << true << true << 5 << false;
        QTest::newRow(name + "vbr, 5") << index << false << true << 5 << true;
        QTest::newRow(name + "vbr, 510") << index << false << true << 510 << true;
        QTest::newRow(name + "vbr, 500") << index << false << true << 500 << false;
        QTest::newRow(name + "abr, 600") << index << false << false << 600 << false;
    }
}

void FormatPagesTest::aacQualityCheckedOnlyForManualVbr() {
    QFETCH(int, pageIndex);
    QFETCH(bool, autoOn);
    QFETCH(bool, vbr);
    QFETCH(int, quality);
    QFETCH(bool, refused);
    auto sheet = openSheet(pageIndex);
    FaacPage& faac = *qobject_cast<FaacPage*>(sheet->page(pageIndex));
    faac.autoCheck().setChecked(!autoOn);
    faac.autoCheck().click();
    faac.rateModeRadios().button(vbr ? 1 : 0)->click();
    QCOMPARE(faac.qualityBox().isEnabled(), !autoOn && vbr);
    QCOMPARE(faac.bitRateList().isEnabled(), !autoOn && !vbr);
    faac.qualityBox().setValue(quality);
    if (!vbr)
        pick(faac.bitRateList(), kSame);
    sheet->accept();
    const QStringList expected{QStringLiteral("Invalid quality value. It's between 10 and 500.")};
    QCOMPARE(m_messages, refused ? expected : QStringList());
    QCOMPARE(sheet->isVisible(), refused);
    if (refused || autoOn)
        return;
    const bool isAac = pageIndex == kAacPageIndex;
    QCOMPARE(isAac ? m_settings.AACVBRQuality : m_settings.M4AVBRQuality, quality);
    if (!vbr)
        QCOMPARE(isAac ? m_settings.AACABRBitRate : m_settings.M4AABRBitRate, 0);
}

void FormatPagesTest::aacResetRestoresEncoderPart() {
    m_settings.AutoDestAACEncodingParam = 0;
    m_settings.AACVBR = 0;
    m_settings.AACABRBitRate = 320;
    m_settings.AACMpegVersion = 1;
    m_settings.AACEnableTNS = 1;
    m_settings.AACEnableMidside = 0;
    m_settings.AACBlockType = 2;
    m_settings.AmplifyAAC = 1;
    m_settings.AmplifyAACCoef = 250;
    auto sheet = openSheet(kAacPageIndex);
    AacPage& aac = page<AacPage>(*sheet, kAacPageIndex);
    aac.reset();
    QVERIFY(aac.autoCheck().isChecked());
    for (QWidget* control :
         {static_cast<QWidget*>(&aac.bitRateList()), static_cast<QWidget*>(&aac.qualityBox()),
          static_cast<QWidget*>(&aac.tnsCheck()),
          static_cast<QWidget*>(aac.blockTypeRadios().button(0)),
          static_cast<QWidget*>(aac.mpegVersionRadios()->button(0))})
        QVERIFY(!control->isEnabled());
    QVERIFY(aac.amplification().amplifyCheck().isChecked());
    aac.autoCheck().click();
    sheet->accept();
    QCOMPARE(m_settings.AutoDestAACEncodingParam, 0);
    QCOMPARE(m_settings.AACVBR, 1);
    QCOMPARE(m_settings.AACVBRQuality, 100);
    QCOMPARE(m_settings.AACABRBitRate, 128);
    QCOMPARE(m_settings.AACMpegVersion, 0);
    QCOMPARE(m_settings.AACEnableTNS, 0);
    QCOMPARE(m_settings.AACEnableMidside, 1);
    QCOMPARE(m_settings.AACBlockType, 0);
    QCOMPARE(m_settings.AmplifyAACCoef, 250);
}

QTEST_MAIN(FormatPagesTest)
#include "test_format_pages.moc"
