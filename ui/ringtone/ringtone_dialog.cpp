#include "ui/ringtone/ringtone_dialog.h"

#include "engine/device_profile.h"
#include "ui/ringtone/length_badge.h"
#include "ui/ringtone/level_scan_worker.h"
#include "ui/ringtone/selection_player.h"
#include "ui/ringtone/time_field.h"
#include "ui/ringtone/time_text.h"
#include "ui/ringtone/waveform_view.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr double kLongestField = 24.0 * 3600; // seconds a field accepts when the length is unknown

// Start and length read as times of the song ("1:02.50"); fades as short spans in seconds.
QDoubleSpinBox* secondsField(QWidget* parent, bool asTime) {
    QDoubleSpinBox* field = asTime ? new TimeField(parent) : new QDoubleSpinBox(parent);
    field->setDecimals(2);
    field->setSingleStep(asTime ? 1.0 : 0.5);
    field->setRange(0, kLongestField);
    if (!asTime)
        field->setSuffix(QObject::tr(" s"));
    field->setAccelerated(true);
    // Whole values only, so typing "15" is not taken as "1" on the way.
    field->setKeyboardTracking(false);
    field->setAlignment(Qt::AlignRight);
    return field;
}

std::int64_t millisecondsIn(const QDoubleSpinBox& field) {
    return std::llround(field.value() * 1000);
}

void showMilliseconds(QDoubleSpinBox& field, std::int64_t ms) {
    const QSignalBlocker quiet(field);
    field.setValue(static_cast<double>(ms) / 1000);
}

QString profileName(const velmora::DeviceProfile& profile) {
    return QString::fromUtf8(profile.name.data(), static_cast<qsizetype>(profile.name.size()));
}

} // namespace

RingtoneDialog::RingtoneDialog(velmora::SourceFile& entry, int outputFormat, QWidget* parent)
    : QDialog(parent), m_entry(entry), m_scanner(new LevelScanWorker(this)),
      m_player(new SelectionPlayer(this)), m_waveform(new WaveformView(m_selection, this)) {
    const QString fileName = QFileInfo(QFile::decodeName(entry.path.c_str())).fileName();
    setWindowTitle(tr("Make Ringtone - %1").arg(fileName));
    m_waveform->setToolTip(tr("Drag the selection to move it, drag its edges to resize it."));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_waveform, 1);
    layout->addWidget(buildScanRow());
    layout->addWidget(buildFields());
    m_fadeNote = new QLabel(this);
    m_fadeNote->setWordWrap(true);
    m_fadeNote->setStyleSheet(QStringLiteral("QLabel { color: #8a4b00; }"));
    m_fadeNote->hide();
    layout->addWidget(m_fadeNote);
    layout->addWidget(buildButtons());

    fillProfileBox(outputFormat);
    m_selection.setDurationMs(static_cast<std::int64_t>(entry.durationSeconds) * 1000);
    if (entry.segment) {
        m_selection.setSegment(*entry.segment);
        m_userEdited = true;
    } else {
        applyProfileSuggestion();
    }
    connectFields();
    showSelection();
    resize(720, 430);
    startScan();
}

RingtoneDialog::~RingtoneDialog() = default;

QWidget* RingtoneDialog::buildScanRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    // The words stand beside the bar, not on it: on the bar the moving edge of the fill cuts
    // through them.
    m_scanLabel = new QLabel(tr("Reading the song..."), row);
    m_scanProgress = new QProgressBar(row);
    m_scanProgress->setRange(0, 100);
    m_scanProgress->setValue(0);
    m_scanProgress->setFormat(tr("%p%"));
    m_cancelScanButton = new QPushButton(tr("Stop Reading"), row);
    m_statusLine = new QLabel(row);
    m_statusLine->setWordWrap(true);
    layout->addWidget(m_scanLabel);
    layout->addWidget(m_scanProgress, 1);
    layout->addWidget(m_cancelScanButton);
    layout->addWidget(m_statusLine, 1);
    connect(m_cancelScanButton, &QPushButton::clicked, m_scanner, &LevelScanWorker::cancel);
    return row;
}

QWidget* RingtoneDialog::buildFields() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    m_startField = secondsField(box, true);
    m_lengthField = secondsField(box, true);
    m_fadeInField = secondsField(box, false);
    m_fadeOutField = secondsField(box, false);
    m_profileBox = new QComboBox(box);
    m_badge = new LengthBadge(box);
    auto label = [box](const QString& text, QWidget* buddy) {
        auto* caption = new QLabel(text, box);
        caption->setBuddy(buddy);
        return caption;
    };
    grid->addWidget(label(tr("&Start:"), m_startField), 0, 0);
    grid->addWidget(m_startField, 0, 1);
    grid->addWidget(label(tr("&Length:"), m_lengthField), 0, 2);
    grid->addWidget(m_lengthField, 0, 3);
    grid->addWidget(m_badge, 0, 4, Qt::AlignLeft);
    grid->addWidget(label(tr("Fade &in:"), m_fadeInField), 1, 0);
    grid->addWidget(m_fadeInField, 1, 1);
    grid->addWidget(label(tr("Fade o&ut:"), m_fadeOutField), 1, 2);
    grid->addWidget(m_fadeOutField, 1, 3);
    grid->addWidget(label(tr("&Phone:"), m_profileBox), 2, 0);
    grid->addWidget(m_profileBox, 2, 1, 1, 3);
    grid->setColumnStretch(4, 1);
    return box;
}

QWidget* RingtoneDialog::buildButtons() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_suggestButton = new QPushButton(tr("Su&ggest"), row);
    m_suggestButton->setToolTip(tr("Select the loudest part of the song"));
    m_suggestButton->setEnabled(false);
    m_playButton = new QPushButton(tr("Play Selec&tion"), row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, row);
    if (m_entry.segment) {
        QPushButton* whole = buttons->addButton(tr("&Whole File"), QDialogButtonBox::ResetRole);
        whole->setToolTip(tr("Convert the whole file again"));
        connect(whole, &QPushButton::clicked, this, [this] { done(kWholeFile); });
    }
    layout->addWidget(m_suggestButton);
    layout->addWidget(m_playButton);
    layout->addStretch(1);
    layout->addWidget(buttons);
    connect(m_suggestButton, &QPushButton::clicked, this, &RingtoneDialog::suggest);
    connect(m_playButton, &QPushButton::clicked, this, &RingtoneDialog::togglePlay);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_player, &SelectionPlayer::activeChanged, this, [this](bool active) {
        m_playButton->setText(active ? tr("S&top") : tr("Play Selec&tion"));
    });
    connect(m_player, &SelectionPlayer::failed, this,
            [this](const QString& message) { m_statusLine->setText(message); });
    return row;
}

void RingtoneDialog::fillProfileBox(int outputFormat) {
    int chosen = 0;
    for (const velmora::DeviceProfile& each : velmora::deviceProfiles()) {
        if (each.outputFormat == outputFormat && chosen == 0)
            chosen = m_profileBox->count();
        m_profileBox->addItem(profileName(each));
    }
    m_profileBox->setCurrentIndex(chosen);
}

const velmora::DeviceProfile& RingtoneDialog::profile() const {
    const auto profiles = velmora::deviceProfiles();
    const auto index = static_cast<std::size_t>(std::max(m_profileBox->currentIndex(), 0));
    return profiles[std::min(index, profiles.size() - 1)];
}

void RingtoneDialog::connectFields() {
    auto onEdit = [this](QDoubleSpinBox* field, void (RingtoneSelection::*set)(std::int64_t)) {
        connect(field, &QDoubleSpinBox::valueChanged, this, [this, field, set] {
            (m_selection.*set)(millisecondsIn(*field));
            onSelectionEdited();
        });
    };
    onEdit(m_startField, &RingtoneSelection::setStart);
    onEdit(m_lengthField, &RingtoneSelection::setLength);
    onEdit(m_fadeInField, &RingtoneSelection::setFadeIn);
    onEdit(m_fadeOutField, &RingtoneSelection::setFadeOut);
    connect(m_waveform, &WaveformView::selectionEdited, this, &RingtoneDialog::onSelectionEdited);
    connect(m_profileBox, &QComboBox::currentIndexChanged, this, &RingtoneDialog::onProfileChosen);
}

void RingtoneDialog::onSelectionEdited() {
    m_userEdited = true;
    showSelection();
}

void RingtoneDialog::showSelection() {
    const velmora::Segment& segment = m_selection.segment();
    showMilliseconds(*m_startField, segment.startMs);
    showMilliseconds(*m_lengthField, segment.lengthMs);
    showMilliseconds(*m_fadeInField, segment.fadeInMs);
    showMilliseconds(*m_fadeOutField, segment.fadeOutMs);
    m_badge->setLength(segment.lengthMs, profile().maxLengthMs);
    m_waveform->setLimitMs(profile().maxLengthMs);
    m_waveform->update();
    if (m_selection.fadesWereShortened()) {
        m_fadeNote->setText(
            tr("The fades were longer than the selection, so each was shortened "
               "to half of it: fade in %1, fade out %2.")
                .arg(TimeText::length(segment.fadeInMs), TimeText::length(segment.fadeOutMs)));
        m_fadeNote->show();
    } else {
        m_fadeNote->hide();
    }
}

void RingtoneDialog::applyProfileSuggestion() {
    const velmora::DeviceProfile& chosen = profile();
    velmora::Segment segment;
    segment.lengthMs = chosen.suggestedLengthMs;
    segment.fadeInMs = chosen.defaultFadeInMs;
    segment.fadeOutMs = chosen.defaultFadeOutMs;
    if (m_levels)
        segment.startMs = velmora::suggestLoudestStart(*m_levels, segment.lengthMs);
    m_selection.setSegment(segment);
}

void RingtoneDialog::onProfileChosen() {
    // A part the user picked stays; an untouched one follows the phone's suggestion.
    if (!m_userEdited)
        applyProfileSuggestion();
    showSelection();
}

void RingtoneDialog::suggest() {
    if (!m_levels)
        return;
    velmora::Segment segment = m_selection.segment();
    // The current length, unless the phone would refuse it.
    const std::int64_t limit = profile().maxLengthMs;
    if (limit > 0 && segment.lengthMs > limit)
        segment.lengthMs = profile().suggestedLengthMs;
    segment.startMs = velmora::suggestLoudestStart(*m_levels, segment.lengthMs);
    m_selection.setSegment(segment);
    onSelectionEdited();
}

void RingtoneDialog::startScan() {
    connect(m_scanner, &LevelScanWorker::progressed, m_scanProgress, &QProgressBar::setValue);
    connect(m_scanner, &LevelScanWorker::finished, this, &RingtoneDialog::onScanFinished);
    m_waveform->setPlaceholderText(tr("The waveform appears here once the song is read."));
    m_statusLine->hide();
    m_scanner->start(m_entry);
}

bool RingtoneDialog::isScanning() const {
    return m_scanner->isRunning();
}

void RingtoneDialog::onScanFinished() {
    m_scanLabel->hide();
    m_scanProgress->hide();
    m_cancelScanButton->hide();
    m_statusLine->show();
    m_levels = m_scanner->levels();
    if (!m_levels) {
        const QString note = m_scanner->failureNote();
        m_waveform->setPlaceholderText(note.isEmpty()
                                           ? tr("The waveform was not read.")
                                           : tr("The song could not be read: %1").arg(note));
        return;
    }
    m_statusLine->setText(
        tr("Song length %1.").arg(TimeText::minutesSeconds(m_levels->durationMs)));
    // The scan knows the length to the window; the list only knew whole seconds.
    m_selection.setDurationMs(m_levels->durationMs);
    if (!m_userEdited)
        applyProfileSuggestion();
    m_suggestButton->setEnabled(true);
    m_waveform->setLevels(&*m_levels);
    showSelection();
}

void RingtoneDialog::togglePlay() {
    if (m_player->isActive()) {
        m_player->stop();
        return;
    }
    m_statusLine->show();
    m_statusLine->clear();
    m_player->play(m_entry, m_selection.segment());
}

void RingtoneDialog::done(int result) {
    // Closing in any way stops the background work before the entry may change.
    m_scanner->cancel();
    m_player->stop();
    if (result == QDialog::Accepted)
        m_entry.segment = m_selection.segment();
    else if (result == kWholeFile)
        m_entry.segment.reset();
    QDialog::done(result);
}
