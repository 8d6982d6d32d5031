// The artwork as the windows see it: loaded from the compiled-in resources through the image plugins.
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QPoint>
#include <QSet>
#include <QtTest>

namespace {

constexpr int GlyphWidth = 13;
constexpr int GlyphHeight = 18;
constexpr int GlyphCount = 11;

const QRgb Lit = qRgb(0, 255, 0);
const QRgb Dark = qRgb(0, 128, 0);
const QRgb Black = qRgb(0, 0, 0);

QImage loadIcon(const QString& name)
{
    return QImage(QStringLiteral(":/icons/") + name).convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                ++count;
            }
        }
    }
    return count;
}

int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++count;
            }
        }
    }
    return count;
}

// Pixels of one glyph of the strip with the given colour, in glyph coordinates.
QSet<QPoint> glyphPixels(const QImage& strip, int glyph, QRgb colour)
{
    QSet<QPoint> points;
    for (int y = 0; y < GlyphHeight; ++y) {
        for (int x = 0; x < GlyphWidth; ++x) {
            if (strip.pixel(glyph * GlyphWidth + x, y) == colour) {
                points.insert(QPoint(x, y));
            }
        }
    }
    return points;
}

// Splits a pixel set into its 4-connected pieces: the segments of a seven-segment glyph.
QList<QSet<QPoint>> segmentsOf(QSet<QPoint> pixels)
{
    QList<QSet<QPoint>> segments;
    while (!pixels.isEmpty()) {
        QSet<QPoint> segment;
        QList<QPoint> todo{*pixels.begin()};
        pixels.erase(pixels.begin());
        while (!todo.isEmpty()) {
            const QPoint p = todo.takeLast();
            segment.insert(p);
            for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                if (pixels.remove(p + step)) {
                    todo.append(p + step);
                }
            }
        }
        segments.append(segment);
    }
    return segments;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void everyFileIsKnown();
    void iconsLoad_data();
    void iconsLoad();
    void dogFramesWaveAPaw();
    void dogHasALightOutline();
    void gaugeRunsTheWholeWidth();
    void digitStripHoldsOnlyItsThreeColours();
    void digitGlyphsShowTheirDigits();
};

static const QStringList SmallIcons = {
    QStringLiteral("app.svg"),         QStringLiteral("main_register.svg"), QStringLiteral("main_arrange.svg"),
    QStringLiteral("main_search.svg"), QStringLiteral("main_manual.svg"),   QStringLiteral("main_exit.svg"),
    QStringLiteral("dog0.svg"),        QStringLiteral("dog1.svg"),          QStringLiteral("dog2.svg"),
    QStringLiteral("dog3.svg"),        QStringLiteral("register_drop.svg"), QStringLiteral("register_add.svg"),
    QStringLiteral("trash.svg"),       QStringLiteral("tick.svg"),          QStringLiteral("cross.svg"),
    QStringLiteral("arrange.svg"),     QStringLiteral("items_add.svg"),     QStringLiteral("search_start.svg"),
    QStringLiteral("search_show.svg"), QStringLiteral("search_clear.svg"),
};

void TestResources::everyFileIsKnown()
{
    // Windows name their pictures by these exact paths; a renamed or missing file shows as an empty button.
    QStringList expected = SmallIcons;
    expected << QStringLiteral("about_logo.svg") << QStringLiteral("gauge.png") << QStringLiteral("digits.png");
    expected.sort();
    QStringList present = QDir(QStringLiteral(":/icons")).entryList(QDir::Files);
    present.sort();
    QCOMPARE(present, expected);
}

void TestResources::iconsLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const QString& name : SmallIcons) {
        QTest::newRow(qPrintable(name)) << name << QSize(32, 32);
    }
    QTest::newRow("about_logo.svg") << QStringLiteral("about_logo.svg") << QSize(64, 64);
}

void TestResources::iconsLoad()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);

    QImageReader reader(QStringLiteral(":/icons/") + name);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.size(), size);

    const QImage image = loadIcon(name);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QVERIFY(!QPixmap(QStringLiteral(":/icons/") + name).isNull());

    // A drawing on a transparent ground: neither blank nor a filled square.
    const int area = size.width() * size.height();
    const int opaque = opaquePixels(image, image.rect());
    QVERIFY2(opaque > area / 5, qPrintable(QStringLiteral("%1 opaque pixels").arg(opaque)));
    QVERIFY2(opaque < area * 19 / 20, qPrintable(QStringLiteral("%1 opaque pixels").arg(opaque)));
}

void TestResources::dogFramesWaveAPaw()
{
    const QImage down0 = loadIcon(QStringLiteral("dog0.svg"));
    const QImage down1 = loadIcon(QStringLiteral("dog1.svg"));
    const QImage up2 = loadIcon(QStringLiteral("dog2.svg"));
    const QImage up3 = loadIcon(QStringLiteral("dog3.svg"));

    // Two frames per pose, so the paw rests and waves for half a second each.
    QVERIFY(differingPixels(down0, down1) < 20);
    QVERIFY(differingPixels(up2, up3) < 20);
    QVERIFY(differingPixels(down0, up2) > 80);

    // The raised paw fills the upper right corner, which is empty while the paws are down.
    const QRect upperRight(23, 0, 9, 10);
    QVERIFY(opaquePixels(down0, upperRight) < 10);
    QVERIFY(opaquePixels(up2, upperRight) > 30);
}

void TestResources::dogHasALightOutline()
{
    // The hit icon sits on arbitrary photos: its rim must be light, with the dark line inside it.
    for (const QString& name : {QStringLiteral("dog0.svg"), QStringLiteral("dog2.svg")}) {
        const QImage image = loadIcon(name);
        int rim = 0;
        int light = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) < 128) {
                    continue;
                }
                bool edge = false;
                for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint n = QPoint(x, y) + step;
                    edge = edge || !image.rect().contains(n) || qAlpha(image.pixel(n)) < 128;
                }
                if (edge) {
                    ++rim;
                    light += qGray(image.pixel(x, y)) > 200 ? 1 : 0;
                }
            }
        }
        QVERIFY2(rim > 40, qPrintable(name));
        QVERIFY2(light * 10 >= rim * 9,
                 qPrintable(QStringLiteral("%1: %2 of %3 rim pixels light").arg(name).arg(light).arg(rim)));
    }
}

void TestResources::gaugeRunsTheWholeWidth()
{
    const QImage gauge(QStringLiteral(":/icons/gauge.png"));
    QCOMPARE(gauge.size(), QSize(400, 21));
    QVERIFY(!gauge.hasAlphaChannel());

    // White ground, and a drawing in every column so that each step of the search reveals more of it.
    for (int x = 0; x < gauge.width(); ++x) {
        QCOMPARE(gauge.pixel(x, 0), qRgb(255, 255, 255));
        QCOMPARE(gauge.pixel(x, gauge.height() - 1), qRgb(255, 255, 255));
        bool drawn = false;
        for (int y = 0; y < gauge.height(); ++y) {
            drawn = drawn || gauge.pixel(x, y) != qRgb(255, 255, 255);
        }
        QVERIFY2(drawn, qPrintable(QStringLiteral("column %1 is blank").arg(x)));
    }
}

void TestResources::digitStripHoldsOnlyItsThreeColours()
{
    const QImage strip(QStringLiteral(":/icons/digits.png"));
    QCOMPARE(strip.size(), QSize(GlyphWidth * GlyphCount, GlyphHeight));
    QVERIFY(!strip.hasAlphaChannel());
    for (int y = 0; y < strip.height(); ++y) {
        for (int x = 0; x < strip.width(); ++x) {
            const QRgb c = strip.pixel(x, y);
            QVERIFY2(
                c == Lit || c == Dark || c == Black,
                qPrintable(
                    QStringLiteral("pixel %1,%2 is #%3").arg(x).arg(y).arg(c & 0xffffff, 6, 16, QLatin1Char('0'))));
        }
    }
}

void TestResources::digitGlyphsShowTheirDigits()
{
    const QImage strip(QStringLiteral(":/icons/digits.png"));
    QCOMPARE(strip.size(), QSize(GlyphWidth * GlyphCount, GlyphHeight));

    // Glyph 8 lights every segment; the last glyph shows the same segments, all dark.
    const QSet<QPoint> allSegments = glyphPixels(strip, 8, Lit);
    QVERIFY(glyphPixels(strip, 8, Dark).isEmpty());
    QVERIFY(glyphPixels(strip, 10, Lit).isEmpty());
    QCOMPARE(glyphPixels(strip, 10, Dark), allSegments);

    const QList<QSet<QPoint>> segments = segmentsOf(allSegments);
    QCOMPARE(segments.size(), 7);

    // One point inside each segment, in the usual order a (top) to g (middle).
    const QList<QPoint> probes = {QPoint(6, 1),  QPoint(10, 5), QPoint(10, 12), QPoint(6, 16),
                                  QPoint(1, 12), QPoint(1, 5),  QPoint(6, 9)};
    const QStringList litSegments = {QStringLiteral("abcdef"),
                                     QStringLiteral("bc"),
                                     QStringLiteral("abdeg"),
                                     QStringLiteral("abcdg"),
                                     QStringLiteral("bcfg"),
                                     QStringLiteral("acdfg"),
                                     QStringLiteral("acdefg"),
                                     QStringLiteral("abc"),
                                     QStringLiteral("abcdefg"),
                                     QStringLiteral("abcdfg"),
                                     QString()};

    for (int glyph = 0; glyph < GlyphCount; ++glyph) {
        const QSet<QPoint> lit = glyphPixels(strip, glyph, Lit);
        const QSet<QPoint> dark = glyphPixels(strip, glyph, Dark);
        // Every glyph has the same segment shapes, each segment wholly lit or wholly dark.
        QCOMPARE(lit + dark, allSegments);
        for (const QSet<QPoint>& segment : segments) {
            QVERIFY2(lit.contains(segment) || dark.contains(segment),
                     qPrintable(QStringLiteral("glyph %1 has a half-lit segment").arg(glyph)));
        }
        for (int s = 0; s < probes.size(); ++s) {
            const QLatin1Char name(static_cast<char>('a' + s));
            const bool expected = litSegments.at(glyph).contains(name);
            QVERIFY(allSegments.contains(probes.at(s)));
            QVERIFY2(lit.contains(probes.at(s)) == expected,
                     qPrintable(QStringLiteral("glyph %1 segment %2").arg(glyph).arg(name)));
        }
    }
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
