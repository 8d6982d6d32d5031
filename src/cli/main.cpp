#include "CodePage.h"
#include "Commands.h"
#include "NativePath.h"
#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <climits>
#include <cstdio>
#include <unistd.h>

namespace kovra::cli {

int Context::fail(int code, const QString& message) const
{
    QString line = displayPath(message); // a name's bytes that are no UTF-8 show as \xNN
    line.replace(u'\n', u' ');
    err << QStringLiteral("kovra-cli: ") << line << u'\n';
    err.flush();
    return code;
}

QString Context::filePath(const QString& file) const
{
    return file.startsWith(u'/') ? file : root + u'/' + file;
}

QStringList usageLines(QStringView name)
{
    QStringList lines;
    for (const Command& c : Commands) {
        const QString commandName = QString::fromUtf16(c.name);
        if (!name.isEmpty() && name != commandName)
            continue;
        for (const QString& alternative : QString::fromUtf16(c.usage).split(u'\n'))
            lines.append((QStringLiteral("kovra-cli [--root DIR] ") + commandName + u' ' + alternative).trimmed());
    }
    return lines;
}

} // namespace kovra::cli

using namespace kovra::cli;

namespace {

// The arguments as the kernel gave them: a --root or FILE in code page 932 bytes keeps its bytes, where
// QCoreApplication::arguments() would turn them into replacement characters.
QStringList rawArguments(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(kovra::fromNativePath(argv[i]));
    return args;
}

QString absoluteFolder(const QString& path)
{
    if (path.startsWith(u'/'))
        return QDir::cleanPath(path);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return QDir::cleanPath(path);
    return QDir::cleanPath(kovra::fromNativePath(cwd) + u'/' + path);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    QStringList args = rawArguments(argc, argv);
    QString root = kovra::executableFolder();
    if (root.isEmpty())
        root = QCoreApplication::applicationDirPath();
    Context usage{root, out, err};
    // Without the code page every name and item would read garbled and every write be refused.
    if (QString reason; !kovra::codepage::available(&reason))
        return usage.fail(ExitUsage, QStringLiteral("文字コードの変換（コードページ932）を利用できません（") + reason +
                                         QStringLiteral("）．"));
    if (!args.isEmpty() && (args.first() == u"--help" || args.first() == u"-h")) {
        out << QStringLiteral("使い方:\n  ") << usageLines().join(QStringLiteral("\n  ")) << u'\n'
            << QStringLiteral("ini の FILE はプログラムフォルダの中のファイルです（相対パスはプログラムフォルダから）．"
                              "外のファイルは絶対パスで指定し、--outside を付けたときだけ読み書きします．\n");
        return ExitOk;
    }
    if (!args.isEmpty() && args.first() == u"--root") {
        if (args.size() < 2 || args.at(1).isEmpty())
            return usage.fail(ExitUsage, QStringLiteral("--root のあとにフォルダを指定してください．"));
        root = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty())
        return usage.fail(ExitUsage,
                          QStringLiteral("コマンドを指定してください（kovra-cli --help で使い方を表示します）．"));

    root = absoluteFolder(root);
    if (!kovra::isFolder(root))
        return usage.fail(ExitUsage, QStringLiteral("フォルダがありません: %1．").arg(root));
    if (!kovra::isReadableFolder(root))
        return usage.fail(ExitUsage, QStringLiteral("フォルダを読めません: %1．").arg(root));
    const Context context{root, out, err};

    const QString name = args.takeFirst();
    for (const Command& c : Commands)
        if (name == QString::fromUtf16(c.name))
            return c.run(context, args);
    return context.fail(
        ExitUsage,
        QStringLiteral("%1 というコマンドはありません（kovra-cli --help で使い方を表示します）．").arg(name));
}
