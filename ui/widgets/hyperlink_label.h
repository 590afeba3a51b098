#pragma once

#include <QLabel>

// A label that is a link: always underlined, blue until it has been opened and purple after,
// the hand cursor, reachable with Tab and opened with a click, Space or Enter.
class HyperlinkLabel : public QLabel {
    Q_OBJECT
public:
    HyperlinkLabel(const QString& text, const QString& url, QWidget* parent = nullptr);

    const QString& url() const { return m_url; }
    bool isVisited() const { return m_visited; }
    void markVisited();

signals:
    void activated(const QString& url);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyColour();

    QString m_url;
    bool m_visited = false;
};
