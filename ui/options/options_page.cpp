#include "ui/options/options_page.h"

#include "ui/widgets/amplification_group.h"

#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QRadioButton>

OptionsPage::OptionsPage(QWidget* parent) : QWidget(parent) {
    setFont(pageFont());
}

void OptionsPage::showMessage(QMessageBox::Icon icon, const QString& text) {
    if (m_presenter) {
        m_presenter(icon, text);
        return;
    }
    QMessageBox box(icon, QStringLiteral("Velmora"), text, QMessageBox::Ok, this);
    box.exec();
}

QFont OptionsPage::pageFont() {
    QFont font = QApplication::font();
    font.setPixelSize(11);
    return font;
}

bool OptionsPage::checkAmplification(AmplificationGroup& group) {
    if (group.checkCoefficient())
        return true;
    showMessage(QMessageBox::Warning, group.rangeMessage());
    return false;
}

void OptionsPage::addRadios(QButtonGroup& group, QBoxLayout& layout, const QStringList& texts) {
    for (int id = 0; id < texts.size(); ++id) {
        auto* radio = new QRadioButton(texts[id]);
        group.addButton(radio, id);
        layout.addWidget(radio);
    }
}
