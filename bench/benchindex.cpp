// kovra-benchindex DIR TEXT...: times, in this process, the scan, the first search with a new index, a
// repeated search with the index and the I/O floor (open + read + close of every area file on two
// threads) on the catalogue DIR, checks that the index answers as the scan does, and prints one line per
// text: text, scan ms, first ms, repeated ms, floor ms, rows, same (yes/NO), index MiB, folders read by
// the repeated search, CPU ms (both threads) of the repeated search, the scan and the first search,
// and the time from the first search's start until the index is read whole, separated by tabs.
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
#include <memory>
#include <thread>
#include <time.h>
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

// CPU time of the process (both threads), in milliseconds.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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
        std::vector<double> scanCpu, firstCpu, ready;
        bool same = true;
        // Alternately, so that both meet the same load of the machine.
        for (int k = 0; k < 5; ++k) {
            double cpu0 = cpuMs();
            scan.push_back(timeMs([&] { reference = kovra::searchFolders(folders, matcher); }));
            scanCpu.push_back(cpuMs() - cpu0);
            auto fresh = std::make_unique<kovra::SearchIndex>();
            QList<kovra::SearchRow> rows;
            cpu0 = cpuMs();
            first.push_back(timeMs([&] { rows = fresh->search(folders, matcher); }));
            firstCpu.push_back(cpuMs() - cpu0);
            // The first answer comes from the scan; the index is then read in the background.
            ready.push_back(first.back() + timeMs([&] { fresh->stats(); }));
            same = same && rows == reference;
            fresh.reset();
            ::usleep(300000); // the kernel frees the watches of the closed index in the background
        }
        kovra::SearchIndex index;
        index.search(folders, matcher);
        std::vector<double> repeatedCpu;
        for (int k = 0; k < 10; ++k) {
            QList<kovra::SearchRow> rows;
            const double cpu0 = cpuMs();
            repeated.push_back(timeMs([&] { rows = index.search(folders, matcher); }));
            repeatedCpu.push_back(cpuMs() - cpu0);
            same = same && rows == reference;
        }
        const kovra::SearchIndex::Stats stats = index.stats();
        for (int k = 0; k < 3; ++k)
            floor.push_back(timeMs([&] { ioFloor(areaPaths); }));
        allSame = allSame && same;
        std::printf("%s\t%.2f\t%.2f\t%.3f\t%.2f\t%lld\t%s\t%.2f\t%d\t%.3f\t%.2f\t%.2f\t%.2f\n",
                    text.toUtf8().constData(), median(scan), median(first), median(repeated), median(floor),
                    qint64(reference.size()), same ? "yes" : "NO", double(stats.memoryBytes) / (1024.0 * 1024.0),
                    stats.readLastSearch, median(repeatedCpu), median(scanCpu), median(firstCpu), median(ready));
        std::fflush(stdout);
    }
    return allSame ? 0 : 1;
}
