#include "ProgramFolder.h"

#include <QCoreApplication>

namespace kovra {

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString settingsFilePath(const QString& programFolder)
{
    return programFolder + QStringLiteral("/KOVRA.INI");
}

} // namespace kovra
