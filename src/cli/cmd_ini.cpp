#include "CodePage.h"
#include "Commands.h"
#include "NativePath.h"
#include "ProfileFile.h"

namespace kovra::cli {
namespace {

int usageError(const Context& context, const QString& problem)
{
    return context.fail(ExitUsage,
                        problem + QStringLiteral("使い方: ") + usageLines(u"ini").join(QStringLiteral(" | ")));
}

int report(const Context& context, WriteStatus status, const QString& path)
{
    switch (status) {
    case WriteStatus::Ok:
        return ExitOk;
    case WriteStatus::InvalidInput:
        return context.fail(ExitRefused,
                            QStringLiteral("ファイルを壊す名前や値のため書き込みませんでした（改行・NUL、空の名前、"
                                           "セクション名の ]、キー名の = や先頭の ; [ は使えません）．"));
    case WriteStatus::Unencodable:
        return context.fail(ExitRefused,
                            QStringLiteral("コードページ 932 で表せない文字を含むため書き込みませんでした．"));
    case WriteStatus::ReadOnly:
        return context.fail(ExitRefused,
                            QStringLiteral("読み取り専用のファイルのため書き込みませんでした: %1．").arg(path));
    case WriteStatus::Unreadable:
        return context.fail(ExitRefused, QStringLiteral("ファイルを読めないため書き込みませんでした: %1．").arg(path));
    case WriteStatus::Failed:
        break;
    }
    return context.fail(ExitRefused,
                        QStringLiteral("ファイルに書き込めませんでした（元の内容のままです）: %1．").arg(path));
}

const QString OutsideOption = QStringLiteral("--outside");

// The path a FILE argument names, or an empty one (after the message) when it leads out of the program
// folder, through '..' or a symbolic link, without the leave an absolute FILE and --outside give.
QString placeOf(const Context& context, const QString& file, bool outside)
{
    const QString path = context.filePath(file);
    if ((outside && file.startsWith(u'/')) || liesInside(path, context.root))
        return path;
    context.fail(ExitUsage, QStringLiteral("%1 はプログラムフォルダ %2 の外にあるため読み書きしません"
                                           "（外のファイルは絶対パスで指定し、--outside を付けてください）．")
                                .arg(file, context.root));
    return {};
}

int get(const Context& context, const QStringList& args, bool outside)
{
    QStringList positional;
    QString defaultValue;
    int size = 256;
    bool options = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (options && a == u"--") {
            options = false;
        } else if (options && a == OutsideOption) {
            outside = true;
        } else if (options && (a == u"--default" || a == u"--size")) {
            if (i + 1 >= args.size())
                return usageError(context, a + QStringLiteral(" のあとに値がありません．"));
            const QString& v = args[++i];
            if (a == u"--default") {
                defaultValue = v;
            } else {
                bool ok = false;
                size = v.toInt(&ok);
                if (!ok || size < 1)
                    return usageError(context, QStringLiteral("--size には 1 以上の整数を指定してください．"));
            }
        } else if (options && a.startsWith(QStringLiteral("--"))) {
            return usageError(context, QStringLiteral("%1 というオプションはありません．").arg(a));
        } else {
            positional.append(a);
        }
    }
    if (positional.size() != 3)
        return usageError(context, QStringLiteral("ini get には FILE SECTION KEY を指定してください．"));
    const QString path = placeOf(context, positional[0], outside);
    if (path.isEmpty())
        return ExitUsage;
    context.out << getProfileString(positional[1], positional[2], defaultValue, size, path) << u'\n';
    context.out.flush();
    return ExitOk;
}

} // namespace

// The program's own reader and writer on one file.
int iniCommand(const Context& context, const QStringList& args)
{
    const QString action = args.value(0);
    QStringList rest = args.mid(1);
    const bool outside = !rest.isEmpty() && rest.first() == OutsideOption;
    if (outside)
        rest.removeFirst();
    if (action == u"get")
        return get(context, rest, outside);
    if (action == u"set") {
        if (rest.size() != 4)
            return usageError(context, QStringLiteral("ini set には FILE SECTION KEY VALUE を指定してください．"));
        const QString path = placeOf(context, rest[0], outside);
        if (path.isEmpty())
            return ExitUsage;
        // The value as the item window would store it when typed; names are never mapped.
        return report(context, writeProfileString(rest[1], rest[2], codepage::mapTyped(rest[3]), path), path);
    }
    if (action == u"remove-section") {
        if (rest.size() != 2)
            return usageError(context, QStringLiteral("ini remove-section には FILE SECTION を指定してください．"));
        const QString path = placeOf(context, rest[0], outside);
        if (path.isEmpty())
            return ExitUsage;
        return report(context, removeProfileSection(rest[1], path), path);
    }
    return usageError(
        context, action.isEmpty() ? QStringLiteral("ini のあとに get、set、remove-section のどれかを指定してください．")
                                  : QStringLiteral("ini %1 という操作はありません．").arg(action));
}

} // namespace kovra::cli
