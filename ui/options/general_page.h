#pragma once

#include "ui/options/options_page.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ShellActions;

// Where output files go, what happens when a target exists, how stereo folds to mono and the
// extension filter of adding folders and drops.
class GeneralPage : public OptionsPage {
    Q_OBJECT
public:
    explicit GeneralPage(ShellActions& shell, QWidget* parent = nullptr);

    QString title() const override { return tr("General"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    // Spaces and tabs removed, ";" read as ",".
    static QString cleanFilterText(const QString& text);

    QComboBox& folderBox() const { return *m_folderBox; }
    QComboBox& existsBox() const { return *m_existsBox; }
    QLineEdit& folderEdit() const { return *m_folderEdit; }
    QLineEdit& filterEdit() const { return *m_filterEdit; }
    QCheckBox& filterCheck() const { return *m_filterCheck; }
    QButtonGroup& monoGroup() const { return *m_monoGroup; }
    QPushButton& openButton() const { return *m_openButton; }

    void openFolder();
    void explainMono();

private:
    QWidget* buildOutputGroup();
    QWidget* buildGeneralGroup();
    void updateFolderControls();
    void updateFilterEdit();
    void browseFolder();
    static void selectData(QComboBox& box, int value);

    ShellActions& m_shell;
    QComboBox* m_folderBox;
    QLineEdit* m_folderEdit;
    QPushButton* m_browseButton;
    QPushButton* m_openButton;
    QCheckBox* m_createDirsCheck;
    QLabel* m_createDirsExample;
    QCheckBox* m_browseWhenDoneCheck;
    QCheckBox* m_myDocumentsCheck;
    QComboBox* m_existsBox;
    QButtonGroup* m_monoGroup;
    QCheckBox* m_filterCheck;
    QLineEdit* m_filterEdit;
};
