// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/gauge.h"

#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QTest>
#include <functional>
#include <limits>

using namespace widgets;

namespace {

constexpr QRgb black = 0xff000000u;
constexpr QRgb white = 0xffffffffu;

// A shown gauge and the paint events it gets: what the user sees redrawn.
// A change that needs no new picture must not cost a repaint, as the window
// sets the gauge on every paint of its own.
class ShownGauge : public QObject {
public:
    TGauge gauge;

    ShownGauge() {
        gauge.resize(97, 25);
        gauge.installEventFilter(this);
        gauge.show();
        (void)QTest::qWaitFor([this] { return paints_ > 0; }, 5000);
    }
    // Whether the change brought a paint: waited for generously when one is
    // expected, for a short quiet time when none is.
    bool repaints(const std::function<void()>& change) { return paintsWithin(change, 5000); }
    bool staysStill(const std::function<void()>& change) { return !paintsWithin(change, 150); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints_;
        return false;
    }

private:
    bool paintsWithin(const std::function<void()>& change, int ms) {
        QTest::qWait(20);  // a paint still on its way from an earlier change
        paints_ = 0;
        change();
        return QTest::qWaitFor([this] { return paints_ > 0; }, ms);
    }
    int paints_ = 0;
};

QImage shownPicture(TGauge& gauge) { return gauge.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Where the percentage text may lie in the main window's 97 x 25 gauge.
QRect textBox(const TGauge& gauge, const QString& text) {
    QFont font = gauge.font();
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text);
    return QRect((96 - width) / 2, (24 - metrics.height()) / 2, width, metrics.height());
}

// Pixels of the inner area that differ from the bar under them: the text.
struct TextPixels {
    QRect bounds;
    int whiteOverFilled = 0;
    int blackOverEmpty = 0;
};

TextPixels findText(const QImage& image, int filledEnd) {
    TextPixels found;
    for (int y = 1; y < 24; ++y)
        for (int x = 1; x < 96; ++x) {
            const QRgb bar = x < filledEnd ? black : white;
            const QRgb pixel = image.pixel(x, y);
            if (pixel == bar) continue;
            EXPECT_EQ(pixel, bar == black ? white : black) << x << "," << y;
            found.bounds |= QRect(x, y, 1, 1);
            ++(bar == black ? found.whiteOverFilled : found.blackOverEmpty);
        }
    return found;
}

void expectBlackBorder(const QImage& image) {
    for (int x = 0; x < image.width(); ++x) {
        EXPECT_EQ(image.pixel(x, 0), black) << x;
        EXPECT_EQ(image.pixel(x, image.height() - 1), black) << x;
    }
    for (int y = 0; y < image.height(); ++y) {
        EXPECT_EQ(image.pixel(0, y), black) << y;
        EXPECT_EQ(image.pixel(image.width() - 1, y), black) << y;
    }
}

class MainWindowGauge : public ::testing::Test {
protected:
    MainWindowGauge() { gauge.resize(97, 25); }

    // Checks the whole picture for a percentage whose filled part ends
    // before filledEnd, and returns the text found in it.
    TextPixels checkPicture(int percent, int filledEnd) {
        gauge.setProgress(percent);
        const QImage image = shownPicture(gauge);
        EXPECT_EQ(image.size(), QSize(97, 25));
        expectBlackBorder(image);
        const TextPixels text = findText(image, filledEnd);
        EXPECT_TRUE(textBox(gauge, QString::number(percent) + "%").contains(text.bounds)) << percent;
        const int centre = text.bounds.left() + text.bounds.width() / 2;
        EXPECT_NEAR(centre, 48, 4);
        EXPECT_NEAR(text.bounds.top() + text.bounds.height() / 2, 12, 4);
        return text;
    }

    TGauge gauge;
};

TEST(Gauge, UsesTheFontOfItsParent) {
    QWidget parent;
    QFont font("DejaVu Serif", 17);
    parent.setFont(font);
    TGauge gauge(&parent);
    EXPECT_EQ(gauge.font(), font);
}

// The progress is clamped to the range; the percentage is truncated, 0 for
// an empty range, and computed without overflow over the widest range.
TEST(Gauge, ClampsProgressAndTruncatesThePercentage) {
    constexpr int kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
    const struct {
        int min, max, set, progress, percent;
    } cases[] = {{0, 100, 150, 100, 100}, {0, 100, -5, 0, 0},     {0, 3, 2, 2, 66},
                 {-3, 3, -2, -2, 16},     {kMin, kMax, 0, 0, 50}, {kMin, kMax, kMax, kMax, 100},
                 {100, 100, 0, 100, 0}};
    for (const auto& c : cases) {
        TGauge gauge;
        gauge.setMaxValue(c.max);
        gauge.setMinValue(c.min);
        gauge.setProgress(c.set);
        EXPECT_EQ(gauge.progress(), c.progress) << c.min << ".." << c.max << " set to " << c.set;
        EXPECT_EQ(gauge.percentDone(), c.percent) << c.min << ".." << c.max << " set to " << c.set;
    }
}

// A bound that would cross the other is refused with the allowed range,
// named also beyond the integers, and the bound stays.
TEST(Gauge, RefusesABoundThatCrossesTheOther) {
    constexpr int kMax = std::numeric_limits<int32_t>::max();
    const struct {
        int min, max;
        bool settingMin;
        int value;
        const char* error;
    } cases[] = {{0, 100, true, 101, "Value must be between -2147483647 and 99"},
                 {20, 50, false, 19, "Value must be between 21 and 2147483647"},
                 {kMax, kMax, false, 0, "Value must be between 2147483648 and 2147483647"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        TGauge gauge;
        gauge.setMaxValue(c.max);
        gauge.setMinValue(c.min);
        try {
            c.settingMin ? gauge.setMinValue(c.value) : gauge.setMaxValue(c.value);
            ADD_FAILURE() << "no error";
        } catch (const EInvalidOperation& error) {
            EXPECT_STREQ(error.what(), c.error);
        }
        EXPECT_EQ(std::pair(gauge.minValue(), gauge.maxValue()), std::pair(c.min, c.max));
    }
}

TEST(Gauge, RepaintsOnlyWhenThePercentageChanges) {
    ShownGauge shown;
    TGauge& gauge = shown.gauge;
    gauge.setMaxValue(1000);
    EXPECT_TRUE(shown.repaints([&] { gauge.setProgress(10); }));
    EXPECT_TRUE(shown.staysStill([&] { gauge.setProgress(19); })) << "still 1 %";
    EXPECT_EQ(gauge.progress(), 19);
    EXPECT_TRUE(shown.repaints([&] { gauge.setProgress(2000); })) << "clamped to 1000: 100 %";
    EXPECT_TRUE(shown.staysStill([&] { gauge.setProgress(1000); }));
}
TEST(Gauge, MovesProgressIntoANarrowedRange) {
    ShownGauge shown;
    TGauge& gauge = shown.gauge;
    gauge.setProgress(10);
    EXPECT_TRUE(shown.repaints([&] { gauge.setMinValue(20); }));
    EXPECT_EQ(gauge.progress(), 20);
    gauge.setProgress(90);
    EXPECT_TRUE(shown.repaints([&] { gauge.setMaxValue(80); }));
    EXPECT_EQ(gauge.progress(), 80);
    EXPECT_TRUE(shown.staysStill([&] {
        gauge.setMaxValue(80);
        gauge.setMinValue(20);
    }));
}
TEST(Gauge, RepaintsForNewAppearanceOnly) {
    ShownGauge shown;
    TGauge& gauge = shown.gauge;
    EXPECT_TRUE(shown.staysStill([&] {
        gauge.setKind(gkHorizontalBar);
        gauge.setShowText(true);
        gauge.setBorderStyle(bsSingle);
        gauge.setForeColor(Qt::black);
        gauge.setBackColor(Qt::white);
    }));
    const std::function<void()> changes[] = {
        [&] { gauge.setKind(gkPie); },         [&] { gauge.setShowText(false); },
        [&] { gauge.setBorderStyle(bsNone); }, [&] { gauge.setForeColor(Qt::red); },
        [&] { gauge.setBackColor(Qt::blue); },
    };
    for (const auto& change : changes) EXPECT_TRUE(shown.repaints(change));
}

// A gauge as constructed: a bordered horizontal bar from 0 to 100, black on
// white, with its percentage in black over the empty part and white over the
// filled one. At 50 % (96 * 0.5 = 48) the filled part runs from x = 1 to 47.
TEST_F(MainWindowGauge, ShowsThePercentageInvertedOverTheFilledPart) {
    const struct {
        int percent, filledEnd, minWhiteOverFilled, minBlackOverEmpty;
    } cases[] = {{0, 1, 0, 11}, {50, 48, 6, 6}, {100, 96, 11, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        const TextPixels text = checkPicture(c.percent, c.filledEnd);
        EXPECT_GE(text.whiteOverFilled, c.minWhiteOverFilled);
        EXPECT_GE(text.blackOverEmpty, c.minBlackOverEmpty);
    }
}

TEST_F(MainWindowGauge, PaintsTheOwnColoursAndTheirInverseForText) {
    gauge.setForeColor(QColor(255, 0, 0));
    gauge.setBackColor(QColor(0, 0, 255));
    gauge.setProgress(50);
    const QImage image = shownPicture(gauge);
    EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(94, 22), qRgb(0, 0, 255));
    int cyan = 0, yellow = 0;
    for (int y = 1; y < 24; ++y)
        for (int x = 1; x < 96; ++x) {
            cyan += image.pixel(x, y) == qRgb(0, 255, 255);
            yellow += image.pixel(x, y) == qRgb(255, 255, 0);
        }
    EXPECT_GT(cyan, 5);
    EXPECT_GT(yellow, 5);
}

TEST_F(MainWindowGauge, WithoutBorderOrTextTheBarAloneReachesTheEdge) {
    gauge.setBorderStyle(bsNone);
    gauge.setShowText(false);
    QImage image = shownPicture(gauge);
    EXPECT_EQ(image.pixel(0, 0), white);
    EXPECT_EQ(image.pixel(96, 24), white);
    gauge.setProgress(50);  // 98 * 0.5 = 49: x = 0 up to x = 48
    image = shownPicture(gauge);
    EXPECT_EQ(image.pixel(0, 0), black);
    EXPECT_EQ(image.pixel(48, 24), black);
    EXPECT_EQ(image.pixel(49, 0), white);
    EXPECT_TRUE(findText(image, 49).bounds.isNull()) << "no text";
}

TEST(Gauge, ClipsTheTextToTheInnerArea) {
    QWidget parent;
    parent.setFont(QFont("DejaVu Sans", 20));
    TGauge gauge(&parent);
    gauge.resize(14, 8);
    gauge.setProgress(100);  // white text, which would show on the frame
    expectBlackBorder(shownPicture(gauge));
}

TEST(Gauge, DrawsOnlyTheBlackBackgroundForOtherKinds) {
    TGauge gauge;
    gauge.setProgress(50);
    gauge.setKind(gkPie);
    const QImage image = shownPicture(gauge);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ASSERT_EQ(image.pixel(x, y), black) << x << "," << y;
}

}  // namespace

// At HiDPI glyph edges fall inside 2 x 2 device-pixel blocks; an enlarged picture never does.
TEST_F(MainWindowGauge, DrawsItsTextAtTheDevicePixelRatio) {
    gauge.setProgress(45);
    QImage shown(QSize(194, 50), QImage::Format_RGB32);
    shown.setDevicePixelRatio(2);
    gauge.render(&shown);
    int mixedBlocks = 0;
    for (int y = 0; y < 50; y += 2)
        for (int x = 0; x < 194; x += 2)
            mixedBlocks += shown.pixel(x, y) != shown.pixel(x + 1, y) || shown.pixel(x, y) != shown.pixel(x, y + 1);
    EXPECT_GT(mixedBlocks, 0);
}
