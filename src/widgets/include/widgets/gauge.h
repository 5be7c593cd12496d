#pragma once
// TGauge: a small control that shows a value as a filled bar with its
// percentage written in the middle. Only the horizontal bar is drawn; the
// other kinds show the black background alone (the program uses none of them).
#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <stdexcept>

namespace widgets {

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TGaugeBorderStyle { bsNone, bsSingle };

// Raised when a property is set to a value that contradicts another one.
struct EInvalidOperation : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    int32_t minValue() const { return m_minValue; }
    void setMinValue(int32_t value);  // throws EInvalidOperation above maxValue()
    int32_t maxValue() const { return m_maxValue; }
    void setMaxValue(int32_t value);  // throws EInvalidOperation below minValue()
    int32_t progress() const { return m_progress; }
    void setProgress(int32_t value);  // clamped to minValue()..maxValue()

    TGaugeKind kind() const { return m_kind; }
    void setKind(TGaugeKind kind);
    bool showText() const { return m_showText; }
    void setShowText(bool show);
    TGaugeBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TGaugeBorderStyle style);
    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor& color);
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

    // Truncated percentage of progress() within the range; 0 for an empty range.
    int32_t percentDone() const;
    // How many repaints the property setters asked for so far.
    int repaintCount() const { return m_repaintCount; }
    // The picture the control shows, composed off screen at its current size
    // with pixelRatio device pixels to each of its pixels.
    QImage composeImage(qreal pixelRatio = 1.0) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Edges as the drawing uses them: right and bottom lie just outside.
    struct Edges {
        int left, top, right, bottom;
    };
    Edges innerEdges() const;
    void paintBar(QImage& image, const Edges& inner) const;
    void paintText(QImage& image, const Edges& inner) const;
    void invalidate();

    int32_t m_minValue = 0;
    int32_t m_maxValue = 100;
    int32_t m_progress = 0;
    TGaugeKind m_kind = gkHorizontalBar;
    bool m_showText = true;
    TGaugeBorderStyle m_borderStyle = bsSingle;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::white;
    int m_repaintCount = 0;
};

}  // namespace widgets
