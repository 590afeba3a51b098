#pragma once

#include "engine/level_scan.h"
#include "sources/source_file.h"
#include "ui/ringtone/ringtone_selection.h"

#include <QDialog>
#include <optional>

namespace velmora {
struct DeviceProfile;
}
class LengthBadge;
class LevelScanWorker;
class SelectionPlayer;
class WaveformView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;

// "Make Ringtone": picks the part of one list entry that becomes the ringtone. The song's levels
// are read in the background (closing the dialog stops that); the part can be dragged on the
// waveform or typed, checked against the chosen phone's limit, played and suggested. Accepting
// stores the part on the entry; "Whole File" removes it.
class RingtoneDialog : public QDialog {
    Q_OBJECT
public:
    // The result of exec() when the user chose to convert the whole file again.
    static constexpr int kWholeFile = 2;

    // entry outlives the dialog; outputFormat picks the profile shown first.
    RingtoneDialog(velmora::SourceFile& entry, int outputFormat, QWidget* parent = nullptr);
    ~RingtoneDialog() override;

    const velmora::DeviceProfile& profile() const;
    const RingtoneSelection& selection() const { return m_selection; }
    bool isScanning() const;
    bool hasLevels() const { return m_levels.has_value(); }

    // The parts a user touches, for tests and screenshots.
    WaveformView& waveform() const { return *m_waveform; }
    QDoubleSpinBox& startField() const { return *m_startField; }
    QDoubleSpinBox& lengthField() const { return *m_lengthField; }
    QDoubleSpinBox& fadeInField() const { return *m_fadeInField; }
    QDoubleSpinBox& fadeOutField() const { return *m_fadeOutField; }
    QComboBox& profileBox() const { return *m_profileBox; }
    LengthBadge& badge() const { return *m_badge; }
    QLabel& fadeNote() const { return *m_fadeNote; }
    QLabel& statusLine() const { return *m_statusLine; }
    QProgressBar& scanProgress() const { return *m_scanProgress; }
    QPushButton& suggestButton() const { return *m_suggestButton; }
    QPushButton& playButton() const { return *m_playButton; }

    void suggest();
    void togglePlay();

    void done(int result) override;

private:
    QWidget* buildFields();
    QWidget* buildScanRow();
    QWidget* buildButtons();
    void fillProfileBox(int outputFormat);
    void connectFields();
    void startScan();
    void onScanFinished();
    void onProfileChosen();
    void onSelectionEdited();
    // Shows the selection in the fields, the badge, the note and the waveform.
    void showSelection();
    // Starts at the loudest part of the profile's suggested length, with its fades.
    void applyProfileSuggestion();

    velmora::SourceFile& m_entry;
    RingtoneSelection m_selection;
    std::optional<velmora::LevelProfile> m_levels;
    bool m_userEdited = false; // once true, a finished scan or a new profile keeps the part
    LevelScanWorker* m_scanner;
    SelectionPlayer* m_player;
    WaveformView* m_waveform;
    QDoubleSpinBox* m_startField = nullptr;
    QDoubleSpinBox* m_lengthField = nullptr;
    QDoubleSpinBox* m_fadeInField = nullptr;
    QDoubleSpinBox* m_fadeOutField = nullptr;
    QComboBox* m_profileBox = nullptr;
    LengthBadge* m_badge = nullptr;
    QLabel* m_fadeNote = nullptr;
    QLabel* m_statusLine = nullptr;
    QLabel* m_scanLabel = nullptr;
    QProgressBar* m_scanProgress = nullptr;
    QPushButton* m_cancelScanButton = nullptr;
    QPushButton* m_suggestButton = nullptr;
    QPushButton* m_playButton = nullptr;
};
