#pragma once

#include "FileOps.h"

#include <QStringList>
#include <functional>
#include <mutex>

namespace kovra::test {

// The real file operations, except those that failWhen picks ("read", "write", "rename", "remove",
// "mkdir", "rmdir", "copy", "chmod", "sync", "syncdir"). A failing "write" leaves half of the data behind, as a full
// disk would. Every call is logged as "op path". Safe to call from several threads (the search reads on two).
class FailingFileOps : public FileOps
{
public:
    std::function<bool(const QString& op, const QString& path)> failWhen;
    QStringList log;

    ReadStatus readFile(const QString& path, QByteArray& out) override
    {
        if (hit(QStringLiteral("read"), path)) {
            out.clear();
            return ReadStatus::Failed;
        }
        return FileOps::readFile(path, out);
    }
    bool writeFile(const QString& path, const QByteArray& data) override
    {
        if (hit(QStringLiteral("write"), path)) {
            FileOps::writeFile(path, data.left(data.size() / 2));
            return false;
        }
        return FileOps::writeFile(path, data);
    }
    bool syncFile(const QString& path) override
    {
        return !hit(QStringLiteral("sync"), path) && FileOps::syncFile(path);
    }
    bool syncFolder(const QString& path) override
    {
        return !hit(QStringLiteral("syncdir"), path) && FileOps::syncFolder(path);
    }
    bool rename(const QString& from, const QString& to) override
    {
        return !hit(QStringLiteral("rename"), to) && FileOps::rename(from, to);
    }
    bool removeFile(const QString& path) override
    {
        return !hit(QStringLiteral("remove"), path) && FileOps::removeFile(path);
    }
    bool makeDir(const QString& path) override { return !hit(QStringLiteral("mkdir"), path) && FileOps::makeDir(path); }
    bool removeDir(const QString& path) override
    {
        return !hit(QStringLiteral("rmdir"), path) && FileOps::removeDir(path);
    }
    bool copyFile(const QString& from, const QString& to, const CopyProgress& progress = {}) override
    {
        // The copy streams past readFile and writeFile; their failures apply to it as well.
        return !hit(QStringLiteral("copy"), to) && !hit(QStringLiteral("read"), from) &&
               !hit(QStringLiteral("write"), to) && FileOps::copyFile(from, to, progress);
    }

    bool copyPermissions(const QString& from, const QString& to) override
    {
        return !hit(QStringLiteral("chmod"), to) && FileOps::copyPermissions(from, to);
    }

    int count(const QString& op) const
    {
        int n = 0;
        for (const QString& line : log)
            n += line.startsWith(op + u' ') ? 1 : 0;
        return n;
    }

private:
    std::mutex m_mutex;

    bool hit(const QString& op, const QString& path)
    {
        const std::lock_guard lock(m_mutex);
        log.append(op + u' ' + path);
        return failWhen && failWhen(op, path);
    }
};

} // namespace kovra::test
