// kovra-benchindex DIR TEXT...: times, in this process, the scan, the first search with a new index, a
// repeated search with the index and the I/O floor (open + read + close of every area file on two
// threads) on the catalogue DIR, checks that the index answers as the scan does, and prints one line per
// text: text, scan ms, first ms, repeated ms, floor ms, rows, same (yes/NO), index MiB, folders read by
// the repeated search, CPU ms (both threads) of the repeated search, the scan and the first search,
// and the time from the first search's start until the index is read whole, separated by tabs.
//
// kovra-benchindex --typing DIR TEXT...: the search as the search window makes it while the user types,
// on a new index. First the keystrokes during the first search: each search is ended (SearchCancelled)
// after KeyGapMs, as the next key ends it, until one completes; then, with the index current, every
// prefix of every text searched as one keystroke. Prints one line: searches until one completed, ms
// until then, keystroke search median ms and worst ms, its CPU median ms, index bytes per image,
// resident MiB of the process, inotify watches.
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

// Resident set of this process in MiB.
double residentMiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int typing(const QStringList& folders, const QStringList& texts)
{
    constexpr double KeyGapMs = 150; // a quick typist's pause between two keys
    kovra::SearchIndex index;
    QElapsedTimer since;
    since.start();
    int searches = 0;
    for (bool done = false; !done;) {
        ++searches;
        QElapsedTimer t;
        t.start();
        try {
            index.search(folders, kovra::Matcher(texts[searches % texts.size()]), [&](int, int) {
                if (double(t.nsecsElapsed()) / 1e6 > KeyGapMs)
                    throw kovra::SearchCancelled{};
            });
            done = true;
        } catch (const kovra::SearchCancelled&) {
        }
    }
    const double untilDone = double(since.nsecsElapsed()) / 1e6;
    const kovra::SearchIndex::Stats stats = index.stats();
    std::vector<double> key, keyCpu;
    bool same = true;
    for (const QString& text : texts) {
        for (qsizetype n = 1; n <= text.size(); ++n) {
            const kovra::Matcher matcher(text.first(n));
            QList<kovra::SearchRow> rows;
            const double cpu0 = cpuMs();
            key.push_back(timeMs([&] { rows = index.search(folders, matcher, [](int, int) {}); }));
            keyCpu.push_back(cpuMs() - cpu0);
            if (n == text.size())
                same = same && rows == kovra::searchFolders(folders, matcher);
        }
    }
    std::printf("%d\t%.0f\t%.3f\t%.3f\t%.3f\t%.0f\t%.1f\t%d\t%s\n", searches, untilDone, median(key),
                *std::max_element(key.begin(), key.end()), median(keyCpu),
                double(stats.memoryBytes) / std::max<double>(1, folders.size()), residentMiB(), stats.watches,
                same ? "yes" : "NO");
    return same ? 0 : 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() >= 3 && args[0] == u"--typing") {
        const QStringList folders = kovra::folderList(args[1]);
        return typing(folders, args.mid(2));
    }
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
