#include "ui/options/options_page.h"

#include "ui/widgets/amplification_group.h"

#include <QApplication>

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
