#include "ShellOpen.h"

#include "MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace kovra {
namespace shell {
namespace {

Launcher& launcher()
{
    static Launcher l;
    return l;
}

} // namespace

QString errorText(int code)
{
    switch (code) {
    case OutOfSystemMemory:
        return QStringLiteral("システムメモリが不足しています。");
    case FileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case PathNotFound:
        return QStringLiteral("ファイルのパスが無効です。");
    case OutOfMemory:
        return QStringLiteral("メモリが不足しています。");
    default:
        // The old conversion put a blank before a non-negative number.
        return (code >= 0 ? QStringLiteral(" ") : QString()) + QString::number(code) +
               QStringLiteral(":起動エラー ファイルのパスを確認してください。 ");
    }
}

Launcher setLauncher(Launcher l)
{
    Launcher previous = std::move(launcher());
    launcher() = std::move(l);
    return previous;
}

int desktopLaunch(const QString& file, const QString& directory, int /*showCommand*/)
{
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty())
        return NoAssociation;
    // xdg-open reports a missing handler only when it has finished, and may not finish while the
    // viewer runs; so ask for the handler first and start xdg-open detached.
    const QString mime = QMimeDatabase().mimeTypeForFile(file).name();
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!xdgMime.isEmpty() && qEnvironmentVariableIsEmpty("BROWSER")) {
        QProcess query;
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mime});
        if (query.waitForFinished(5000) && query.exitStatus() == QProcess::NormalExit &&
            QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed().isEmpty())
            return NoAssociation;
    }
    return QProcess::startDetached(xdgOpen, {file}, directory) ? Started : NoAssociation;
}

int open(const QString& file, const QString& directory, int showCommand)
{
    const QFileInfo info(file);
    if (!info.dir().exists())
        return PathNotFound;
    if (!info.exists())
        return FileNotFound;
    return launcher() ? launcher()(file, directory, showCommand) : desktopLaunch(file, directory, showCommand);
}

} // namespace shell

void ShellOpenFile(QWidget* owner, const QString& file, const QString& directory, int showCommand)
{
    const int result = shell::open(file, directory, showCommand);
    if (result > 32)
        return;
    MessageBox::critical(owner, shell::errorText(result));
}

} // namespace kovra
