// Writes the seed corpus of each fuzz target from the test fixtures: make_seeds OUTPUT_DIR
// gives OUTPUT_DIR/<target>/seed-N, each in the input layout its target reads.

#include "FixtureCatalogue.h"
#include "FlatBlocksJpeg.h"
#include "FuzzSupport.h"
#include "TestPhotos.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

using namespace kovra;
using namespace kovra::fuzz;

namespace {

std::string bytesOf(const char* s)
{
    return std::string(s);
}

std::string sjis(const QString& text)
{
    return codepage::encode(text).value_or(QByteArray()).toStdString();
}

void writeSeeds(const QString& dir, const QString& target, const std::vector<std::string>& seeds)
{
    const QString folder = QDir(dir).filePath(target);
    QDir().mkpath(folder);
    int n = 0;
    for (const std::string& s : seeds) {
        QFile f(QDir(folder).filePath(QStringLiteral("seed-%1").arg(n++)));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(s.data(), qint64(s.size()));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);

    // Every INI file of the fixture catalogue, and a few shapes of our own.
    QTemporaryDir tmp;
    if (!tmp.isValid() || !test::fixture::create(tmp.path())) {
        std::fprintf(stderr, "make_seeds: cannot lay out the fixture catalogue\n");
        return 1;
    }
    std::vector<std::string> inis;
    QDirIterator it(tmp.path(), {QStringLiteral("*.INI")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        inis.push_back(test::readBytes(it.next()).toStdString());
    for (const char* s : {"", "[S]\r\nk=v\r\n", "[S]\nk=v", "[S]\rj=1\rk=2\r", "  [ S ] x\r\n ; c\r\n k = ' v '\r\n",
                          "k=0\r\n[S]\r\n[s]\r\nk=1\r\n", "[a]b]\r\nk=\"\"v\"\"\r\n[Items]\r\nItem0=\x83\x5c\r\n"})
        inis.push_back(bytesOf(s));
    // Big enough for the reader's name indexes.
    std::string big = "[Items]\r\n";
    for (int i = 0; i < 30; ++i)
        big += "Item" + std::to_string(i) + "=x\r\n";
    for (int i = 0; i < 30; ++i)
        big += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
    inis.push_back(big + "[items]\r\nItem0=later\r\n");
    writeSeeds(out, QStringLiteral("fuzz_profile_read"), inis);

    std::vector<std::string> codepageSeeds = inis;
    for (const QString& t : {test::fixture::shelfTitle(), QStringLiteral("～①㈱ｶﾞﾑﾃｰﾌﾟ表ソ"), QStringLiteral("𠮷😀é¥")})
        codepageSeeds.push_back(std::string(reinterpret_cast<const char*>(t.utf16()), size_t(t.size()) * 2));
    codepageSeeds.push_back(test::fixture::longTitleBytes().toStdString());
    writeSeeds(out, QStringLiteral("fuzz_codepage"), codepageSeeds);

    // Writes: names and values, the file, then the pick and op bytes of each edit and their count, read from
    // the end.
    std::vector<std::string> writes;
    struct Write
    {
        const char* section;
        const char* key;
        QString value;
        char op;
        char pick;
    };
    const std::vector<Write> ops = {
        {"ItemCount", "Sum", QStringLiteral("3"), 0, 0},    {"Items", "Item1", QStringLiteral("ボールペン"), 0, 0},
        {"Area", "Left", QStringLiteral("-20"), 0, 0x11},   {"Items", "", QString(), 1, 0},
        {"New", "Key", QStringLiteral("\"quoted\""), 0, 0},
    };
    for (const std::string& ini : inis) {
        for (const Write& w : ops)
            writes.push_back(fdpString(w.section) + fdpString(w.key) + fdpString(sjis(w.value)) + ini + w.pick + w.op +
                             char(0));
        // The item save: Sum, removal of Items, two items.
        std::string save, tail;
        for (const Write& w : {ops[0], ops[3], ops[1], Write{"Items", "Item0", QStringLiteral("電池"), 0, 0}}) {
            save += fdpString(w.section) + fdpString(w.key) + fdpString(sjis(w.value));
            tail = std::string{w.pick, w.op} + tail;
        }
        writes.push_back(save + ini + tail + char(3));
    }
    writeSeeds(out, QStringLiteral("fuzz_profile_write"), writes);

    std::vector<std::string> numbers;
    for (const char* s : {"12.5", "13.5", "-20", "187.5", "150", "32767", "-32768", "32767.5", " 4500 ", "1e3", "+.5",
                          "0x10", "1,5", "3abc"})
        numbers.push_back(std::string(s) + std::string("\x3f\x80\x00\x00\x40\x49\x0f\xdb\x01\x02\x03\x04\x05\x00", 14));
    writeSeeds(out, QStringLiteral("fuzz_numbers"), numbers);

    std::vector<std::string> areas;
    const std::string image = test::fixture::shelfImageIni().toStdString();
    for (const std::string& ini : inis) {
        areas.push_back(fdpString(sjis(QStringLiteral("ソ"))) + fdpString(image) + ini + char(0));
        areas.push_back(fdpString("1") + fdpString("") + ini + char(3));
    }
    areas.push_back(fdpString("x") + fdpString(image) + "[ItemCount]\r\nSum=32767\r\n" + char(0));
    writeSeeds(out, QStringLiteral("fuzz_areafile"), areas);

    std::vector<std::string> matching;
    const std::vector<std::pair<QString, QString>> pairs = {{QStringLiteral("ペン"), QStringLiteral("ボールペン")},
                                                            {QStringLiteral("PEN"), QStringLiteral("pen")},
                                                            {QStringLiteral("ｶﾞﾑﾃｰﾌﾟ"), QStringLiteral("ガムテープ")},
                                                            {QStringLiteral("ぱそこん"), QStringLiteral("パソコン")},
                                                            {QStringLiteral("ＵＳＢ"), QStringLiteral("usbケーブル")},
                                                            {QStringLiteral(" "), QStringLiteral("a b")},
                                                            {QStringLiteral("ﾊﾟ"), QStringLiteral("ﾊﾞﾊﾟ゛")}};
    for (const auto& [search, item] : pairs)
        matching.push_back(fdpString(sjis(search)) + sjis(item) + char(0));
    writeSeeds(out, QStringLiteral("fuzz_matching"), matching);

    // A photo of Qt's writer (4:2:0, real AC codes), and flat blocks with and without restart markers.
    std::vector<std::string> jpegs{test::readBytes(QStringLiteral(KOVRA_TEST_DATA_DIR "/shelf.jpg")).toStdString()};
    const auto value = [](int c, int x, int y) { return (x * 29 + y * 7 + c * 90) % 256; };
    for (const auto& [components, interval] : {std::pair{1, 0}, {3, 0}, {1, 3}, {3, 2}})
        jpegs.push_back(test::flatBlocksJpeg(5, 3, components, interval, value).toStdString());
    writeSeeds(out, QStringLiteral("fuzz_jpegeighth"), jpegs);

    // Small HEIC and AVIF pictures: plain, turned, with alpha, with a thumbnail, and a tiled grid.
    QImage picture(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(value(0, x, y), value(1, x, y), value(2, x, y)));
    QImage withAlpha = picture.convertToFormat(QImage::Format_ARGB32);
    withAlpha.setPixel(3, 3, qRgba(10, 20, 30, 40));
    std::vector<std::string> heifs;
    const auto add = [&](const QByteArray& b) {
        if (!b.isEmpty())
            heifs.push_back(b.toStdString());
    };
    for (bool av1 : {false, true}) {
        add(photos::heifBytes(picture, photos::HeifOptions{.av1 = av1}));
        add(photos::heifBytes(picture, {.av1 = av1, .orientation = 6}));
        add(photos::heifBytes(withAlpha, {.av1 = av1, .fullChroma = true}));
        add(photos::heifGridBytes(picture, QSize(16, 16), photos::HeifOptions{.av1 = av1}));
    }
    add(photos::heifBytes(picture, {.thumbnail = picture, .thumbnailSide = 24}));
    writeSeeds(out, QStringLiteral("fuzz_heif"), heifs);
    return 0;
}
