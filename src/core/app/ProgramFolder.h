#pragma once

#include <QString>

namespace kovra {

// The folder that holds the running executable, from /proc/self/exe with every byte of its name kept
// (see NativePath.h); empty when the kernel does not tell.
QString executableFolder();

// The folder that holds the executable; every data path is built from it.
QString programFolder();

// "<program folder>/KOVRA.INI".
QString settingsFilePath(const QString& programFolder);

} // namespace kovra
