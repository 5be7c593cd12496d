// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/gauge.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace widgets {
namespace {

// The bounds are computed in 64 bits: MaxValue - 1 or MinValue + 1 would
// overflow at the ends of the 32-bit range.
EInvalidOperation outOfRange(int64_t low, int64_t high) {
    char text[80];
    std::snprintf(text, sizeof text, "Value must be between %lld and %lld", static_cast<long long>(low),
                  static_cast<long long>(high));
    return EInvalidOperation(text);
}

// An image of the control's size in logical pixels, at the given number of
// device pixels per logical pixel.
QImage blackImage(const QSize& size, qreal pixelRatio) {
    QImage image(QSize(qCeil(size.width() * pixelRatio), qCeil(size.height() * pixelRatio)), QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::black);
    return image;
}

// Combines the colours of source into target by exclusive or; the alpha byte
// of an RGB32 pixel must stay 0xff.
void xorInto(QImage& target, const QImage& source) {
    for (int y = 0; y < target.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < target.width(); ++x) out[x] = ((out[x] ^ in[x]) & 0x00ffffffu) | 0xff000000u;
    }
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

void TGauge::setMinValue(int32_t value) {
    if (value == minValue_) return;
    if (value > maxValue_) throw outOfRange(-std::numeric_limits<int32_t>::max(), int64_t{maxValue_} - 1);
    minValue_ = value;
    if (progress_ < value) progress_ = value;
    invalidate();
}

void TGauge::setMaxValue(int32_t value) {
    if (value == maxValue_) return;
    if (value < minValue_) throw outOfRange(int64_t{minValue_} + 1, std::numeric_limits<int32_t>::max());
    maxValue_ = value;
    if (progress_ > value) progress_ = value;
    invalidate();
}

void TGauge::setProgress(int32_t value) {
    value = std::clamp(value, minValue_, maxValue_);
    if (value == progress_) return;
    const int32_t before = percentDone();
    progress_ = value;
    if (percentDone() != before) invalidate();
}

void TGauge::setKind(TGaugeKind kind) {
    if (kind == kind_) return;
    kind_ = kind;
    invalidate();
}

void TGauge::setShowText(bool show) {
    if (show == showText_) return;
    showText_ = show;
    invalidate();
}

void TGauge::setBorderStyle(TGaugeBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    invalidate();
}

void TGauge::setForeColor(const QColor& color) {
    if (color == foreColor_) return;
    foreColor_ = color;
    invalidate();
}

void TGauge::setBackColor(const QColor& color) {
    if (color == backColor_) return;
    backColor_ = color;
    invalidate();
}

int32_t TGauge::percentDone() const {
    if (maxValue_ == minValue_) return 0;
    // In floating point, so that wide ranges cannot overflow.
    const double done = (double(progress_) - minValue_) * 100.0 / (double(maxValue_) - minValue_);
    return static_cast<int32_t>(std::trunc(done));
}

void TGauge::invalidate() { update(); }

TGauge::Edges TGauge::innerEdges() const {
    Edges edges{0, 0, width(), height()};
    if (borderStyle_ == bsSingle) edges = Edges{1, 1, width() - 1, height() - 1};
    return edges;
}

QImage TGauge::composeImage(qreal pixelRatio) const {
    QImage image = blackImage(size(), pixelRatio);
    if (kind_ != gkHorizontalBar || image.isNull()) return image;
    const Edges inner = innerEdges();
    paintBar(image, inner);
    if (showText_) paintText(image, inner);
    return image;
}

// Back colour over the inner area, fore colour over the filled length. The
// filled rectangle ends at the x coordinate equal to the length, so with a
// border it is one pixel shorter than the length and reaches the inner right
// edge exactly at 100 %.
void TGauge::paintBar(QImage& image, const Edges& inner) const {
    QImage bar = blackImage(size(), image.devicePixelRatio());
    QPainter painter(&bar);
    painter.fillRect(QRect(QPoint(inner.left, inner.top), QPoint(inner.right - 1, inner.bottom - 1)), backColor_);
    const int w = inner.right - inner.left + 1;
    const int h = inner.bottom - inner.top + 1;
    const int filled = std::min(static_cast<int>(std::trunc(w * (percentDone() * 0.01))), w);
    if (filled >= 1) painter.fillRect(QRect(QPoint(inner.left, inner.top), QPoint(filled - 1, h - 1)), foreColor_);
    painter.end();
    xorInto(image, bar);
}

// White text on black, combined by exclusive or, so that it shows in the
// inverse of the bar under it. Antialiasing is off: grey edges would turn
// into unrelated colours under the exclusive or.
void TGauge::paintText(QImage& image, const Edges& inner) const {
    QImage textImage = blackImage(size(), image.devicePixelRatio());
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias);
    const QString text = QString::asprintf("%d%%", percentDone());
    const QFontMetrics metrics(textFont);
    const int x = (inner.right - inner.left + 1 - metrics.horizontalAdvance(text)) / 2;
    const int y = (inner.bottom - inner.top + 1 - metrics.height()) / 2;
    QPainter painter(&textImage);
    painter.setClipRect(QRect(QPoint(inner.left, inner.top), QPoint(inner.right - 1, inner.bottom - 1)));
    painter.setFont(textFont);
    painter.setPen(Qt::white);
    painter.drawText(x, y + metrics.ascent(), text);
    painter.end();
    xorInto(image, textImage);
}

// Composed at the pixel ratio of the device painted on, so that the text
// stays sharp on a scaled screen instead of being drawn small and enlarged.
void TGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), composeImage(painter.paintEngine()->paintDevice()->devicePixelRatioF()));
}

}  // namespace widgets
