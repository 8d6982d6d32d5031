// kovra-cli search TEXT: the search of the program, one line per result row.
#include "ImageFolders.h"
#include "SearchScan.h"

#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace {

void printLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

// Exit 0 when something is found, 1 when nothing is (like grep), 2 on bad usage or an unreadable folder.
// Columns, tab-separated: folder-list position, folder name, title, hit area list, picture path.
int cmdSearch(const QString& root, const QStringList& args)
{
    if (args.size() != 1) {
        printLine(stderr, QStringLiteral("usage: kovra-cli [--root DIR] search TEXT"));
        return 2;
    }
    const QString& text = args.first();
    if (text.isEmpty()) {
        printLine(stderr, QStringLiteral("[検索アイテム名]を入力してください．"));
        return 2;
    }
    const QFileInfo rootInfo(root);
    if (!rootInfo.isDir() || !rootInfo.isReadable()) {
        printLine(stderr, QStringLiteral("kovra-cli: cannot read the folder %1").arg(root));
        return 2;
    }
    const QStringList folders = kovra::folderList(root);
    const QList<kovra::SearchRow> rows = kovra::searchFolders(folders, kovra::Matcher(text));
    QByteArray out;
    for (const kovra::SearchRow& row : rows) {
        out += QString::number(row.folderPosition).toUtf8();
        out += '\t';
        out += QFileInfo(row.folder).fileName().toUtf8();
        out += '\t';
        out += row.title.toUtf8();
        out += '\t';
        out += row.hitAreaText().toUtf8();
        out += '\t';
        out += row.picturePath.toUtf8();
        out += '\n';
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return rows.isEmpty() ? 1 : 0;
}
