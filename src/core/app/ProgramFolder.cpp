#include "ProgramFolder.h"

#include "NativePath.h"

#include <QCoreApplication>

namespace kovra {

QString executableFolder()
{
    // The kernel's own bytes of the executable's path: Qt's applicationDirPath() decodes them as UTF-8
    // and loses a folder name in code page 932 bytes (a catalogue unpacked from a Windows archive).
    const QString exe = symLinkTarget(QStringLiteral("/proc/self/exe"));
    const qsizetype slash = exe.lastIndexOf(u'/');
    if (slash > 0)
        return exe.left(slash);
    if (slash == 0)
        return QStringLiteral("/");
    return {};
}

QString programFolder()
{
    const QString folder = executableFolder();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

QString settingsFilePath(const QString& programFolder)
{
    return programFolder + QStringLiteral("/KOVRA.INI");
}

} // namespace kovra
