// Display timings of the main window's picture, offscreen: for generated 12, 24 and 48 megapixel JPEGs, the
// time from the file to the picture drawn into the 640x480 box at 100 % and fitted, beside one plain
// full-size QImageReader decode of the same file, in one run; the fit view of 24 and 48 megapixels through
// decodeJpegEighth against libjpeg's own 1/8 scaling (what it would be without the reduced decoder); and the
// peak resident memory of showing a 100-megapixel JPEG at 100 %, measured in a process of its own; and, where
// the main window's library is built, the picture box choosing a 100-megapixel photo at 100 % after another
// one (48 or 100 megapixels), then going to fit: the peak, and what stays resident at fit.
//
//   kovra-displaybench [--data DIR] [--rounds N] [--no-memory]
//   kovra-displaybench --memory FILE      (the child: prints its peak resident memory in KiB)
//   kovra-displaybench --in-turn FIRST SECOND   (the child: peak KiB, resident KiB at fit, ms)

#include "PictureSource.h"
#ifdef KOVRA_BENCH_CANVAS
#include "PictureCanvas.h"
#include "ShownImage.h"
#include <QApplication>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const QSize Box(640, 480); // the picture box's default client size
constexpr int Version = 1; // part of the file names: a change of the pattern regenerates the files

// A photo-like pattern (gradients and fine noise, so the JPEG carries detail as a photo does).
bool generate(QSize size, const QString& path)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return false;
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
    model.showPicture(first);
    model.showPicture(second);
    if (!canvas.hasPhoto())
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
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--data") && i + 1 < args.size())
            dataDir = args[++i];
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--no-memory"))
            memory = false;
        else {
            std::fprintf(stderr, "usage: kovra-displaybench [--data DIR] [--rounds N] [--no-memory]\n");
            return 2;
        }
    }
    if (!QDir().mkpath(dataDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dataDir));
        return 1;
    }

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
    return ok ? 0 : 1;
}
