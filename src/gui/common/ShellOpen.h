#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kovra {

// Opens a file with the program the desktop associates with its type. Results follow the old shell
// call: greater than 32 is success, 32 or less an error code.
namespace shell {

inline constexpr int OutOfSystemMemory = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int OutOfMemory = 8;
inline constexpr int NoAssociation = 31;
inline constexpr int Started = 42;

// The message for an error code: the four codes with their own texts, else the code with a blank
// before it and the generic text.
QString errorText(int code);

// Starts the associated program for an existing file; returns Started, or NoAssociation when no
// program takes the file's type or none could be started.
using Launcher = std::function<int(const QString& file, const QString& directory, int showCommand)>;

// Replaces the launcher (tests); an empty one restores the desktop's. Returns the previous one.
Launcher setLauncher(Launcher launcher);

// The desktop's launcher: asks xdg-mime for a program for the file's type, then starts xdg-open.
int desktopLaunch(const QString& file, const QString& directory, int showCommand);

// The result for file: PathNotFound when its folder is missing, FileNotFound when the file is,
// else what the launcher gives.
int open(const QString& file, const QString& directory, int showCommand);

} // namespace shell

// Opens file; a failure ends in exactly one message box (critical icon, OK, caption "Kovra").
void ShellOpenFile(QWidget* owner, const QString& file, const QString& directory, int showCommand);

} // namespace kovra
