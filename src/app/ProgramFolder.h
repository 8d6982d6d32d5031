#pragma once

#include <QString>

namespace kovra {

// The folder that holds the executable; every data path is built from it.
QString programFolder();

// "<program folder>/KOVRA.INI".
QString settingsFilePath(const QString& programFolder);

} // namespace kovra
