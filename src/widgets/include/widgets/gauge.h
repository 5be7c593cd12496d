// SPDX-License-Identifier: GPL-3.0-or-later
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

    int32_t minValue() const { return minValue_; }
    void setMinValue(int32_t value);  // throws EInvalidOperation above maxValue()
    int32_t maxValue() const { return maxValue_; }
    void setMaxValue(int32_t value);  // throws EInvalidOperation below minValue()
    int32_t progress() const { return progress_; }
    void setProgress(int32_t value);  // clamped to minValue()..maxValue()

    TGaugeKind kind() const { return kind_; }
    void setKind(TGaugeKind kind);
    bool showText() const { return showText_; }
    void setShowText(bool show);
    TGaugeBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(TGaugeBorderStyle style);
    QColor foreColor() const { return foreColor_; }
    void setForeColor(const QColor& color);
    QColor backColor() const { return backColor_; }
    void setBackColor(const QColor& color);

    // Truncated percentage of progress() within the range; 0 for an empty range.
    int32_t percentDone() const;
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

    int32_t minValue_ = 0;
    int32_t maxValue_ = 100;
    int32_t progress_ = 0;
    TGaugeKind kind_ = gkHorizontalBar;
    bool showText_ = true;
    TGaugeBorderStyle borderStyle_ = bsSingle;
    QColor foreColor_ = Qt::black;
    QColor backColor_ = Qt::white;
};

}  // namespace widgets
