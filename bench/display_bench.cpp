// Display timings of the main window's picture, offscreen: for generated 12, 24 and 48 megapixel JPEGs, the
// time from the file to the picture drawn into the 640x480 box at 100 % and fitted, beside one plain
// full-size QImageReader decode of the same file, in one run; the fit view of 24 and 48 megapixels through
// decodeJpegEighth against libjpeg's own 1/8 scaling (what it would be without the reduced decoder); and the
// peak resident memory of showing a 100-megapixel JPEG at 100 %, measured in a process of its own; and, where
// the main window's library is built, the picture box choosing a 100-megapixel photo at 100 % after another
// one (48 or 100 megapixels), then going to fit: the peak, and what stays resident at fit. Then a 12 MP
// HEIC against a JPEG of the same picture, fitted and at 100 %, in alternating rounds: one coded picture,
// the same with an embedded thumbnail as large as the fit view needs, and a grid of tiles as phones store
// their photos (--heif-only runs this alone). First, for a generated 24 and 48 MP JPEG and any --jpeg
// FILE: djpeg of the file, Qt's reader, the program's own full decode and its cropped decode of the part
// in view at 100 %, and, where the picture box is built, from the choice to the part painted and to the
// whole photo replacing it (--full-only runs this alone).
//
//   kovra-displaybench [--data DIR] [--rounds N] [--no-memory] [--heif-only] [--full-only] [--jpeg FILE]...
//   kovra-displaybench --memory FILE      (the child: prints its peak resident memory in KiB)
//   kovra-displaybench --in-turn FIRST SECOND   (the child: peak KiB, resident KiB at fit, ms)

#include "PictureSource.h"
#include "TestPhotos.h"
#ifdef KOVRA_BENCH_CANVAS
#include "PictureCanvas.h"
#include "ShownImage.h"
#include <QApplication>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

const QSize Box(640, 480); // the picture box's default client size
constexpr int Version = 1; // part of the file names: a change of the pattern regenerates the files

// A photo-like pattern (gradients and fine noise, so the file carries detail as a photo does).
QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    quint32 noise = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = int(noise >> 28);
            line[x] = qRgb((x * 255 / size.width() + n) & 0xff, (y * 255 / size.height() + n) & 0xff,
                           ((x + y) / 16 + n) & 0xff);
        }
    }
    return image;
}

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    const QString partial = path + QStringLiteral(".partial");
    QFile f(partial);
    if (bytes.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    QFile::remove(path);
    return QFile::rename(partial, path);
}

bool generate(QSize size, const QString& path)
{
    const QImage image = pattern(size);
    if (image.isNull())
        return false;
    const QString partial = path + QStringLiteral(".partial");
    QImageWriter writer(partial, "jpeg");
    writer.setQuality(80);
    if (!writer.write(image))
        return false;
    QFile::remove(path);
    return QFile::rename(partial, path);
}

QString photo(const QString& dir, QSize size)
{
    const QString path =
        QDir(dir).filePath(QStringLiteral("photo-v%1-%2x%3.jpg").arg(Version).arg(size.width()).arg(size.height()));
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "generating %s\n", qPrintable(path));
        if (!generate(size, path))
            return {};
    }
    return path;
}

// The same pattern as a HEIC through x265 at its default settings (a photo's coding tools), quality 55
// (4.0 MB at 12 MP against the JPEG's 2.1: the pattern's fine noise costs HEVC more than a photo does).
// Either one coded picture, optionally with an embedded thumbnail fitted into thumbnailSide, or a grid of
// tiles as a phone stores its photos. Encoding a 12 MP picture takes a while: cached.
QString heifPhoto(const QString& dir, QSize size, int thumbnailSide, QSize tiles = QSize())
{
    const QString kind = !tiles.isEmpty()    ? QStringLiteral("-tiles%1").arg(tiles.width())
                         : thumbnailSide > 0 ? QStringLiteral("-thumb%1").arg(thumbnailSide)
                                             : QString();
    const QString path = QDir(dir).filePath(
        QStringLiteral("photo-v%1-%2x%3-q55%4.heic").arg(Version).arg(size.width()).arg(size.height()).arg(kind));
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "generating %s\n", qPrintable(path));
        const QImage image = pattern(size);
        photos::HeifOptions options{.quality = 55, .fast = false};
        if (thumbnailSide > 0) {
            options.thumbnail = image;
            options.thumbnailSide = thumbnailSide;
        }
        const QByteArray bytes = image.isNull()    ? QByteArray()
                                 : tiles.isEmpty() ? photos::heifBytes(image, options)
                                                   : photos::heifGridBytes(image, tiles, options);
        if (!writeAtomically(path, bytes))
            return {};
    }
    return path;
}

// What the canvas does with the image it gets: draws the upright picture into the box at `scale`.
void drawIntoBox(const QImage& picture, QSize upright, double scale)
{
    QImage box(Box, QImage::Format_RGB32);
    box.fill(Qt::white);
    QPainter painter(&box);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target(0, 0, upright.width() * scale, upright.height() * scale);
    painter.drawImage(target, picture, QRectF(picture.rect()));
}

double fitScale(QSize upright)
{
    return std::min(double(Box.width()) / upright.width(), double(Box.height()) / upright.height());
}

struct Timing
{
    double wallMs = -1;
    double cpuMs = -1;
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Times one way of getting the picture on screen; a failure gives negative times.
template <typename Show>
Timing timed(Show show)
{
    QElapsedTimer wall;
    const double cpu = cpuMs();
    wall.start();
    if (!show())
        return {};
    return {double(wall.nsecsElapsed()) / 1e6, cpuMs() - cpu};
}

bool plainDecode(const QString& path)
{
    QImageReader reader(path);
    reader.setAllocationLimit(1024);
    return !reader.read().isNull();
}

bool shown(const QString& path, bool fit)
{
    const auto source = kovra::PictureSource::open(path);
    if (!source)
        return false;
    const double scale = fit ? fitScale(source->uprightSize()) : 1.0;
    const QImage image = source->image(scale);
    if (image.isNull())
        return false;
    drawIntoBox(image, source->uprightSize(), scale);
    return true;
}

// The fit view as the program would show it without decodeJpegEighth: libjpeg's 1/8 scaling through
// QImageReader, with the options PictureSource gives it.
bool shownByReader(const QString& path)
{
    const auto source = kovra::PictureSource::open(path);
    if (!source || source->orientation() != 1)
        return false;
    const QSize size = source->fileSize();
    const double scale = fitScale(size);
    if (kovra::PictureSource::reductionFor(size, scale) != 8)
        return false;
    QImageReader reader(path, "jpeg");
    reader.setAutoTransform(false);
    reader.setAllocationLimit(1024);
    reader.setScaledSize(size / 8);
    reader.setQuality(40);
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    drawIntoBox(image, size, scale);
    return true;
}

Timing median(std::vector<Timing> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end(), [](const Timing& x, const Timing& y) { return x.wallMs < y.wallMs; });
    Timing m = v[v.size() / 2];
    std::sort(v.begin(), v.end(), [](const Timing& x, const Timing& y) { return x.cpuMs < y.cpuMs; });
    m.cpuMs = v[v.size() / 2].cpuMs;
    return m;
}

// A 12 MP HEIC against a JPEG of the same picture, from the choice of the file to the picture drawn,
// fitted and at 100 %, in alternating rounds: as one coded picture, with a thumbnail as large as the fit
// view, and as a phone's grid of 512 x 512 tiles (decoded on libheif's threads).
bool heifAgainstJpeg(const QString& dataDir, int rounds)
{
    const QSize size(4000, 3000);
    const int fitSide = size.width() / kovra::PictureSource::reductionFor(size, fitScale(size));
    struct Kind
    {
        QString name;
        QString path;
        std::vector<Timing> fit, full;
    };
    Kind kinds[] = {{QStringLiteral("JPEG"), photo(dataDir, size), {}, {}},
                    {QStringLiteral("HEIC, one picture"), heifPhoto(dataDir, size, 0), {}, {}},
                    {QStringLiteral("HEIC, %1x%2 thumbnail").arg(fitSide).arg(size.height() * fitSide / size.width()),
                     heifPhoto(dataDir, size, fitSide),
                     {},
                     {}},
                    {QStringLiteral("HEIC, 512x512 tiles"), heifPhoto(dataDir, size, 0, QSize(512, 512)), {}, {}}};
    for (const Kind& k : kinds) {
        if (k.path.isEmpty() || !shown(k.path, true)) { // also warms the page cache and the codecs
            std::fprintf(stderr, "cannot show the 12 MP photo %s\n", qPrintable(k.path));
            return false;
        }
    }
    for (int r = 0; r < rounds; ++r) {
        for (Kind& k : kinds) {
            k.fit.push_back(timed([&] { return shown(k.path, true); }));
            k.full.push_back(timed([&] { return shown(k.path, false); }));
        }
    }
    std::printf("12 MP (%dx%d), the same picture: file to picture drawn, median of %d alternating rounds, wall ms "
                "(CPU ms), ratio to the JPEG's wall time\n",
                size.width(), size.height(), rounds);
    std::printf("%-26s %8s %20s %7s %20s %7s\n", "", "file MB", "fit", "x JPEG", "100 %", "x JPEG");
    const Timing jpegFit = median(kinds[0].fit), jpegFull = median(kinds[0].full);
    bool ok = jpegFit.wallMs > 0 && jpegFull.wallMs > 0;
    for (const Kind& k : kinds) {
        const Timing fit = median(k.fit), full = median(k.full);
        ok = ok && fit.wallMs > 0 && full.wallMs > 0;
        std::printf("%-26s %8.1f %9.1f (%8.1f) %7.2f %9.1f (%8.1f) %7.2f\n", qPrintable(k.name),
                    double(QFileInfo(k.path).size()) / 1e6, fit.wallMs, fit.cpuMs, fit.wallMs / jpegFit.wallMs,
                    full.wallMs, full.cpuMs, full.wallMs / jpegFull.wallMs);
    }
    return ok;
}

long statusKib(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray want = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(want))
            return line.mid(want.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int memoryChild(const QString& path)
{
    QElapsedTimer t;
    t.start();
    const auto source = kovra::PictureSource::open(path);
    const QImage image = source ? source->image(1.0) : QImage();
    if (image.isNull())
        return 1;
    drawIntoBox(image, source->uprightSize(), 1.0);
    std::printf("%ld %ld %.0f\n", statusKib("VmHWM"), statusKib("VmRSS"), double(t.nsecsElapsed()) / 1e6);
    return 0;
}

#ifdef KOVRA_BENCH_CANVAS
// The picture box as the main window has it: FIRST at 100 %, then SECOND, then the fit view.
int inTurnChild(const QString& first, const QString& second)
{
    kovra::ShownImage model;
    QWidget dragLayer;
    kovra::PictureCanvas canvas(&model, &dragLayer, nullptr);
    canvas.resize(Box);
    canvas.showActual();
    QElapsedTimer t;
    t.start();
    // Each whole photo, decoded behind the part in view, is waited for: the peak holds the full decodes.
    const auto whole = [&] {
        while (canvas.showsPartOnly())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        return canvas.hasPhoto();
    };
    model.showPicture(first);
    if (!whole())
        return 1;
    model.showPicture(second);
    if (!whole())
        return 1;
    const long peak = statusKib("VmHWM");
    canvas.showFit();
    if (!canvas.hasPhoto())
        return 1;
    std::printf("%ld %ld %.0f\n", peak, statusKib("VmRSS"), double(t.nsecsElapsed()) / 1e6);
    return 0;
}

QString copyOf(const QString& path)
{
    const QString copy = path + QStringLiteral(".copy.jpg");
    if (!QFile::exists(copy) && !QFile::copy(path, copy))
        return {};
    return copy;
}
#endif

// djpeg of the file into nothing: libjpeg-turbo's own tool, the anchor of a full decode.
// The CPU time of this process's finished children, ms.
double childCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

bool djpeg(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("djpeg"), {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool ownFullDecode(const QString& path)
{
    const auto source = kovra::PictureSource::open(path);
    return source && !source->image(1.0).isNull();
}

// The part in view at 100 % (the box at the top-left corner), decoded alone.
bool partDecode(const QString& path)
{
    const auto source = kovra::PictureSource::open(path);
    return source && !source->region(QRect(QPoint(), Box)).isNull();
}

#ifdef KOVRA_BENCH_CANVAS
// The picture box at 100 %: from the choice to the part in view painted, and on to the whole photo
// painted in its place. A small picture between rounds, so that no decode is kept from the last one.
struct BoxTimes
{
    std::vector<Timing> part, whole;
};

bool boxRound(kovra::ShownImage& model, kovra::PictureCanvas& canvas, const QString& path, const QString& between,
              BoxTimes& times)
{
    model.showPicture(between);
    canvas.viewport()->repaint();
    QElapsedTimer wall;
    double cpu = cpuMs();
    wall.start();
    if (!model.showPicture(path))
        return false;
    canvas.viewport()->repaint();
    times.part.push_back({double(wall.nsecsElapsed()) / 1e6, cpuMs() - cpu});
    if (!canvas.hasPhoto())
        return false;
    while (canvas.showsPartOnly()) {
        if (wall.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    canvas.viewport()->repaint();
    times.whole.push_back({double(wall.nsecsElapsed()) / 1e6, cpuMs() - cpu});
    return true;
}
#endif

bool fullSizeJpegs(const QString& dataDir, const QStringList& extra, int rounds)
{
    QStringList files = {photo(dataDir, QSize(6000, 4000)), photo(dataDir, QSize(8000, 6000))};
    files += extra;
#ifdef KOVRA_BENCH_CANVAS
    const QString between = QDir(dataDir).filePath(QStringLiteral("between.png"));
    if (!QFile::exists(between) && !pattern(QSize(64, 48)).save(between))
        return false;
    kovra::ShownImage model;
    QWidget dragLayer;
    kovra::PictureCanvas canvas(&model, &dragLayer, nullptr);
    canvas.resize(Box + QSize(20, 20));
    canvas.show();
    canvas.showActual();
#endif
    std::printf("Full size: median of %d rounds, wall ms (CPU ms); djpeg runs as a process of its own\n", rounds);
    std::printf("%-34s %17s %17s %17s %6s %17s %6s %17s %17s %6s %17s\n", "file", "djpeg", "Qt reader", "own full",
                "x djpeg", "part decode", "x full", "part painted", "", "x part", "whole painted");
    bool ok = true;
    for (const QString& path : files) {
        if (path.isEmpty() || !ownFullDecode(path)) {
            std::fprintf(stderr, "cannot decode %s\n", qPrintable(path));
            return false;
        }
        std::vector<Timing> d, qt, own, part;
#ifdef KOVRA_BENCH_CANVAS
        BoxTimes box;
#endif
        for (int r = 0; r < rounds; ++r) {
            const double before = childCpuMs();
            Timing t = timed([&] { return djpeg(path); });
            t.cpuMs = childCpuMs() - before; // the tool's own CPU, not this process's wait for it
            d.push_back(t);
            qt.push_back(timed([&] { return plainDecode(path); }));
            own.push_back(timed([&] { return ownFullDecode(path); }));
            part.push_back(timed([&] { return partDecode(path); }));
#ifdef KOVRA_BENCH_CANVAS
            ok = boxRound(model, canvas, path, between, box) && ok;
#endif
        }
        const Timing td = median(d), tq = median(qt), to = median(own), tp = median(part);
        ok = ok && td.wallMs > 0 && tq.wallMs > 0 && to.wallMs > 0 && tp.wallMs > 0;
        const auto source = kovra::PictureSource::open(path);
        const QString name =
            QStringLiteral("%1 (%2 MP)")
                .arg(QFileInfo(path).fileName())
                .arg(double(source->fileSize().width()) * source->fileSize().height() / 1e6, 0, 'f', 1);
        Timing bp, bw;
#ifdef KOVRA_BENCH_CANVAS
        bp = median(box.part);
        bw = median(box.whole);
#endif
        std::printf(
            "%-34s %8.1f (%6.1f) %8.1f (%6.1f) %8.1f (%6.1f) %6.2f %8.1f (%6.1f) %6.3f %8.1f (%6.1f) %17s %6.2f %8.1f "
            "(%6.1f)\n",
            qPrintable(name.right(34)), td.wallMs, td.cpuMs, tq.wallMs, tq.cpuMs, to.wallMs, to.cpuMs,
            to.wallMs / td.wallMs, tp.wallMs, tp.cpuMs, tp.wallMs / to.wallMs, bp.wallMs, bp.cpuMs, "",
            bp.wallMs / tp.wallMs, bw.wallMs, bw.cpuMs);
        std::printf("  Qt reader / djpeg %.2f (CPU %.2f); own full / djpeg %.2f (CPU %.2f; target <= 1.2: %s); part "
                    "painted / part decode %.2f (target <= 2: %s)\n",
                    tq.wallMs / td.wallMs, tq.cpuMs / td.cpuMs, to.wallMs / td.wallMs, to.cpuMs / td.cpuMs,
                    to.wallMs / td.wallMs <= 1.2 ? "met" : "NOT met", bp.wallMs / tp.wallMs,
                    bp.wallMs > 0 && bp.wallMs / tp.wallMs <= 2 ? "met" : "NOT met");
    }
    return ok;
}

// Runs this program with args and returns the numbers it prints; empty when it fails.
QList<QByteArray> child(const QStringList& args)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), args);
    if (!process.waitForFinished(300000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput().trimmed().split(' ');
}

} // namespace

int main(int argc, char** argv)
{
#ifdef KOVRA_BENCH_CANVAS
    QApplication app(argc, argv);
#else
    QGuiApplication app(argc, argv);
#endif
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--memory"))
        return memoryChild(args[2]);
#ifdef KOVRA_BENCH_CANVAS
    if (args.size() == 4 && args[1] == QLatin1String("--in-turn"))
        return inTurnChild(args[2], args[3]);
#endif

    QString dataDir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("displaybench-data"));
    int rounds = 3;
    bool memory = true;
    bool heifOnly = false;
    bool fullOnly = false;
    QStringList jpegs;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--data") && i + 1 < args.size())
            dataDir = args[++i];
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--no-memory"))
            memory = false;
        else if (args[i] == QLatin1String("--heif-only"))
            heifOnly = true;
        else if (args[i] == QLatin1String("--full-only"))
            fullOnly = true;
        else if (args[i] == QLatin1String("--jpeg") && i + 1 < args.size())
            jpegs << args[++i];
        else {
            std::fprintf(stderr, "usage: kovra-displaybench [--data DIR] [--rounds N] [--no-memory] [--heif-only] "
                                 "[--full-only] [--jpeg FILE]...\n");
            return 2;
        }
    }
    if (!QDir().mkpath(dataDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dataDir));
        return 1;
    }
    if (heifOnly)
        return heifAgainstJpeg(dataDir, rounds) ? 0 : 1;
    const bool fullSizeOk = fullSizeJpegs(dataDir, jpegs, std::max(rounds, 5));
    if (fullOnly)
        return fullSizeOk ? 0 : 1;

    std::printf("Display: file to picture drawn in the %dx%d box, offscreen, median of %d rounds (wall; CPU)\n",
                Box.width(), Box.height(), rounds);
    std::printf("%-4s %-10s %9s %9s %9s %11s %9s %9s %11s %9s\n", "MP", "size", "plain ms", "100% ms", "fit ms",
                "100%/plain", "fit/plain", "CPU plain", "CPU 100%/pl", "CPU fit/pl");
    bool ok = true;
    double fitRatio24 = -1;
    QString eighthLine; // reader / decodeJpegEighth at fit, for the sizes where the fit view is an eighth
    for (const QSize size : {QSize(4000, 3000), QSize(6000, 4000), QSize(8000, 6000)}) {
        const QString path = photo(dataDir, size);
        if (path.isEmpty()) {
            std::fprintf(stderr, "cannot generate a %dx%d JPEG\n", size.width(), size.height());
            return 1;
        }
        const int megapixels = size.width() * size.height() / 1000000;
        const bool eighth = megapixels >= 24;
        std::vector<Timing> plain, full, fit, byReader;
        plainDecode(path); // warm the page cache
        for (int r = 0; r < rounds; ++r) {
            plain.push_back(timed([&] { return plainDecode(path); }));
            full.push_back(timed([&] { return shown(path, false); }));
            fit.push_back(timed([&] { return shown(path, true); }));
            if (eighth)
                byReader.push_back(timed([&] { return shownByReader(path); }));
        }
        const Timing p = median(plain), f = median(full), s = median(fit);
        ok = ok && p.wallMs > 0 && f.wallMs > 0 && s.wallMs > 0;
        if (eighth) {
            const Timing q = median(byReader);
            ok = ok && q.wallMs > 0;
            eighthLine += QStringLiteral(" %1 MP %2 / %3 ms = %4 (CPU %5);")
                              .arg(megapixels)
                              .arg(q.wallMs, 0, 'f', 1)
                              .arg(s.wallMs, 0, 'f', 1)
                              .arg(q.wallMs / s.wallMs, 0, 'f', 2)
                              .arg(q.cpuMs / s.cpuMs, 0, 'f', 2);
        }
        if (megapixels == 24)
            fitRatio24 = s.wallMs / p.wallMs;
        std::printf("%-4d %-10s %9.1f %9.1f %9.1f %11.2f %9.2f %9.1f %11.2f %9.2f\n", megapixels,
                    qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())), p.wallMs, f.wallMs,
                    s.wallMs, f.wallMs / p.wallMs, s.wallMs / p.wallMs, p.cpuMs, f.cpuMs / p.cpuMs, s.cpuMs / p.cpuMs);
    }
    std::printf("fit/plain at 24 MP: %.2f (target <= 0.30: %s)\n", fitRatio24, fitRatio24 <= 0.30 ? "met" : "NOT met");
    // decodeJpegEighth is kept while this stays at 1.3 or more.
    std::printf("fit, libjpeg 1/8 / decodeJpegEighth:%s\n", qPrintable(eighthLine));

    if (memory) {
        const QString path = photo(dataDir, QSize(10000, 10000));
        const QList<QByteArray> v = path.isEmpty() ? QList<QByteArray>() : child({QStringLiteral("--memory"), path});
        if (v.isEmpty()) {
            std::fprintf(stderr, "the 100-megapixel run failed\n");
            return 1;
        }
        std::printf("100 MP (10000x10000) at 100 %%: peak resident %.0f MiB (bound 600), %s ms\n",
                    v.value(0).toDouble() / 1024, v.value(2).constData());
#ifdef KOVRA_BENCH_CANVAS
        const QString second = copyOf(path); // another file of the same picture: another decode
        for (const QString& first : {photo(dataDir, QSize(8000, 6000)), second}) {
            const QList<QByteArray> r =
                first.isEmpty() ? QList<QByteArray>() : child({QStringLiteral("--in-turn"), first, path});
            if (r.isEmpty()) {
                std::fprintf(stderr, "the in-turn run failed\n");
                return 1;
            }
            std::printf("picture box, %s MP then 100 MP at 100 %%: peak resident %.0f MiB, at fit %.0f MiB, %s ms\n",
                        first == second ? "100" : "48", r.value(0).toDouble() / 1024, r.value(1).toDouble() / 1024,
                        r.value(2).constData());
        }
#endif
    }
    ok = heifAgainstJpeg(dataDir, rounds) && ok && fullSizeOk;
    return ok ? 0 : 1;
}
