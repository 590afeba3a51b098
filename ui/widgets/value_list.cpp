#include "ui/widgets/value_list.h"

ValueList::ValueList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this,
            [this](int index) { emit valueChosen(itemData(index).toInt()); });
}

void ValueList::addValue(const QString& text, int value) {
    addItem(text, value);
}

int ValueList::value() const {
    return currentIndex() >= 0 ? currentData().toInt() : -1;
}

bool ValueList::selectValue(int value) {
    const int index = findData(value);
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

void ValueList::selectValueOrFirst(int value) {
    if (!selectValue(value) && count() > 0)
        setCurrentIndex(0);
}
