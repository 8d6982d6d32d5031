#pragma once

// The hostile catalogues, shared by the core test and the window test: made at test time by
// make_hostile_catalogues.py, listed in its manifest.json.

#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace hostile {

#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 SlowDown = 6; // the sanitizer build
#else
constexpr qint64 SlowDown = 1;
#endif

// The time a case may take: a fixed part, and a part linear in its bytes (no quadratic blow-up passes).
inline qint64 boundMs(qint64 bytes)
{
    return (4000 + bytes / (1024 * 1024) * 150) * SlowDown;
}

// Makes every case under dir and returns the manifest; empty with error set when that fails.
inline QJsonArray makeCases(const QString& dir, QString& error)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        error = QStringLiteral("python3 is needed to make the hostile catalogues");
        return {};
    }
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.start(python, {QStringLiteral(KOVRA_RELIABILITY_DIR "/make_hostile_catalogues.py"), dir});
    if (!gen.waitForFinished(300000) || gen.exitCode() != 0) {
        error = QStringLiteral("the hostile catalogue generator failed");
        return {};
    }
    QFile manifest(dir + QStringLiteral("/manifest.json"));
    if (!manifest.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("no manifest.json");
        return {};
    }
    return QJsonDocument::fromJson(manifest.readAll()).array();
}

// Mode-000 files of the unreadable case must not stop the removal of the temporary folder.
inline void releaseCases(const QString& dir)
{
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace hostile
