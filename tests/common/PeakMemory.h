#pragma once

// Peak resident memory on Linux: VmHWM of /proc/self/status, which writing "5" to /proc/self/clear_refs
// resets to the present resident size.

#include <QByteArray>
#include <QFile>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kovra::test {

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS", "VmSize"); -1 when missing.
inline long statusKib(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray want = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(want))
            return line.mid(want.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// From here on VmHWM is the peak since this call.
inline bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

struct ChildRun
{
    bool finished = false; // exited by itself: not killed, not out of memory
    long peakKib = -1;     // from the start of work
    QByteArray output;     // what work returned
};

// Runs work in a forked child whose address space may grow by at most `growthLimit` bytes, so that a fault
// that would take all the memory fails there instead of on the machine.
inline ChildRun runInChild(const std::function<QByteArray()>& work, qint64 growthLimit)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const rlim_t limit = rlim_t(statusKib("VmSize")) * 1024 + rlim_t(growthLimit);
        const rlimit as{limit, limit};
        ::setrlimit(RLIMIT_AS, &as);
        resetPeak();
        const QByteArray out = work();
        const QByteArray report = QByteArray::number(qlonglong(statusKib("VmHWM"))) + '\n' + out;
        for (qsizetype at = 0; at < report.size();) {
            const ssize_t n = ::write(fds[1], report.constData() + at, size_t(report.size() - at));
            if (n <= 0)
                break;
            at += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    ChildRun run;
    if (pid < 0) {
        ::close(fds[0]);
        return run;
    }
    QByteArray all;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        all.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const qsizetype line = all.indexOf('\n');
    run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0 && line > 0;
    run.peakKib = run.finished ? all.left(line).toLong() : -1;
    run.output = run.finished ? all.mid(line + 1) : QByteArray();
    return run;
}

} // namespace kovra::test
