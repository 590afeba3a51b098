#pragma once

#include <QWidget>
#include <cstdint>

namespace velmora {
struct LevelProfile;
}
class RingtoneSelection;

// The overview of a song's loudness with the part being picked on top: dragging inside the part
// moves it, dragging one of its edges resizes it, a press outside moves the part there. The view
// edits the selection it is given (owned by the dialog) and tells what it changed.
class WaveformView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kEdgeGrip = 5;    // pixels either side of an edge that grab it
    static constexpr int kAxisHeight = 18; // pixels under the waveform for the time marks

    WaveformView(RingtoneSelection& selection, QWidget* parent = nullptr);

    // Null while the song is still being read; the levels stay owned by the caller.
    void setLevels(const velmora::LevelProfile* levels);
    // The profile's longest allowed part; what lies past it is tinted as too long.
    void setLimitMs(std::int64_t limitMs);
    void setPlaceholderText(const QString& text);

    // The mapping between the time line and the widget, in pixels of the widget.
    QRect plotRect() const;
    int xOfTime(std::int64_t ms) const;
    std::int64_t timeAtX(int x) const;

    QSize sizeHint() const override { return {640, 170}; }
    QSize minimumSizeHint() const override { return {320, 110}; }

signals:
    void selectionEdited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Move, StartEdge, EndEdge };

    Drag dragAt(int x) const;
    void updateCursor(int x);
    std::int64_t shownDurationMs() const;
    void paintLevels(class QPainter& painter, const QRect& plot) const;
    void paintSelectionBand(QPainter& painter, const QRect& plot) const;
    void paintSelectionEdges(QPainter& painter, const QRect& plot) const;
    void paintFadeCurves(QPainter& painter, const QRect& plot) const;
    void paintTimeAxis(QPainter& painter, const QRect& plot) const;

    RingtoneSelection& m_selection;
    const velmora::LevelProfile* m_levels = nullptr;
    float m_heightScale = 1.0f; // from full scale to the plot's half height
    std::int64_t m_limitMs = 0;
    QString m_placeholder;
    Drag m_drag = Drag::None;
    std::int64_t m_grabOffsetMs = 0; // from the part's start to where a move grabbed it
};
