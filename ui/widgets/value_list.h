#pragma once

#include <QComboBox>

// A drop-down list whose entries each carry an item value; pages read and select values,
// never texts.
class ValueList : public QComboBox {
    Q_OBJECT
public:
    explicit ValueList(QWidget* parent = nullptr);

    void addValue(const QString& text, int value);
    // The value of the selected entry; -1 when the list is empty.
    int value() const;
    // False, and the selection unchanged, when no entry carries the value.
    bool selectValue(int value);
    // Selects the entry of the value, the first entry when none carries it.
    void selectValueOrFirst(int value);
    bool contains(int value) const { return findData(value) >= 0; }

signals:
    // The user picked an entry (not emitted for selections made by the program).
    void valueChosen(int value);
};
