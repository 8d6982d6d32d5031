// kovra-benchindex DIR TEXT...: times, in this process, the scan, the first search with a new index, a
// repeated search with the index and the I/O floor (open + read + close of every area file on two
// threads) on the catalogue DIR, checks that the index answers as the scan does, and prints one line per
// text: text, scan ms, first ms, repeated ms, floor ms, rows, same (yes/NO), index MiB, folders read by
// the repeated search, separated by tabs.
#include "AreaFiles.h"
#include "ImageFolders.h"
#include "NativePath.h"
#include "SearchIndex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

template <typename F>
double timeMs(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

// Every area file opened, read whole and closed, by two threads sharing a counter: the cost of the
// reading alone, with no parsing.
void ioFloor(const std::vector<QByteArray>& paths)
{
    std::atomic<size_t> next{0};
    auto work = [&] {
        char buffer[65536];
        for (size_t i; (i = next.fetch_add(1)) < paths.size();) {
            const int fd = ::open(paths[i].constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            while (::read(fd, buffer, sizeof buffer) > 0) {
            }
            ::close(fd);
        }
    };
    std::thread helper(work);
    work();
    helper.join();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fputs("usage: kovra-benchindex DIR TEXT...\n", stderr);
        return 2;
    }
    const QStringList folders = kovra::folderList(args[0]);
    std::vector<QByteArray> areaPaths;
    for (const QString& f : folders)
        for (int a = 0; a < kovra::AreaCount; ++a)
            areaPaths.push_back(kovra::nativePath(kovra::areaFilePath(f, a)));

    bool allSame = true;
    for (const QString& text : args.mid(1)) {
        const kovra::Matcher matcher(text);
        std::vector<double> scan, first, repeated, floor;
        QList<kovra::SearchRow> reference;
        for (int k = 0; k < 3; ++k)
            scan.push_back(timeMs([&] { reference = kovra::searchFolders(folders, matcher); }));
        bool same = true;
        for (int k = 0; k < 3; ++k) {
            kovra::SearchIndex fresh;
            QList<kovra::SearchRow> rows;
            first.push_back(timeMs([&] { rows = fresh.search(folders, matcher); }));
            same = same && rows == reference;
        }
        kovra::SearchIndex index;
        index.search(folders, matcher);
        for (int k = 0; k < 10; ++k) {
            QList<kovra::SearchRow> rows;
            repeated.push_back(timeMs([&] { rows = index.search(folders, matcher); }));
            same = same && rows == reference;
        }
        const kovra::SearchIndex::Stats stats = index.stats();
        for (int k = 0; k < 3; ++k)
            floor.push_back(timeMs([&] { ioFloor(areaPaths); }));
        allSame = allSame && same;
        std::printf("%s\t%.2f\t%.2f\t%.3f\t%.2f\t%lld\t%s\t%.2f\t%d\n", text.toUtf8().constData(), median(scan),
                    median(first), median(repeated), median(floor), qint64(reference.size()), same ? "yes" : "NO",
                    double(stats.memoryBytes) / (1024.0 * 1024.0), stats.readLastSearch);
        std::fflush(stdout);
    }
    return allSame ? 0 : 1;
}
