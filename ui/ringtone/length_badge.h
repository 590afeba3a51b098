#pragma once

#include <QLabel>
#include <cstdint>

// The length of the picked part, shown on a small rounded label that turns red when the part is
// longer than the chosen phone allows.
class LengthBadge : public QLabel {
    Q_OBJECT
public:
    explicit LengthBadge(QWidget* parent = nullptr);

    // limitMs 0: no limit.
    void setLength(std::int64_t lengthMs, std::int64_t limitMs);
    bool isOverLimit() const { return m_overLimit; }

private:
    bool m_overLimit = false;
};
