#pragma once

#include "engine/tag_preset.h"

#include <QDialog>
#include <QMessageBox>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class BoundedStepSpinBox;

// "Edit ID3 Tag": edits a copy of one family's tag preset; the caller takes preset() only
// after OK.
class TagEditorDialog : public QDialog {
    Q_OBJECT
public:
    using MessagePresenter = std::function<void(QMessageBox::Icon icon, const QString& text)>;

    TagEditorDialog(const velmora::TagPreset& preset, bool showCopyright,
                    QWidget* parent = nullptr);

    void setMessagePresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }
    // The edited values; a track type outside the three radios comes back as "None".
    velmora::TagPreset preset() const;

    void accept() override;

    QLineEdit& textEdit(int field) const { return *m_texts[field]; }
    QComboBox& genreBox() const { return *m_genreBox; }
    QCheckBox& fileNameCheck() const { return *m_fileNameCheck; }
    QButtonGroup& trackGroup() const { return *m_trackGroup; }
    QLineEdit& trackNumberEdit() const;
    BoundedStepSpinBox& trackNumberBox() const { return *m_trackNumber; }
    bool copyrightShown() const;

    // Indices of textEdit(), in the order of the dialog.
    enum Field { Title, Artist, Album, Year, Comment, Composer, Copyright, kTextFieldCount };

private:
    void buildTextFields(class QGridLayout& grid);
    QWidget* buildTrackGroup();
    void updateTitleEdit();
    void updateTrackNumber();
    // Empty when the typed number is acceptable, else the message that refuses it.
    QString trackNumberProblem() const;

    velmora::TagPreset m_preset;
    QLineEdit* m_texts[kTextFieldCount] = {};
    QLabel* m_copyrightLabel = nullptr;
    QComboBox* m_genreBox = nullptr;
    QCheckBox* m_fileNameCheck = nullptr;
    QButtonGroup* m_trackGroup = nullptr;
    BoundedStepSpinBox* m_trackNumber = nullptr;
    MessagePresenter m_presenter;
};
