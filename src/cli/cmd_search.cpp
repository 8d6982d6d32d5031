#include "Catalogue.h"
#include "Commands.h"
#include "ImageFolders.h"
#include "NativePath.h"
#include "SearchScan.h"

namespace kovra::cli {

// The program's search: one line per result row, tab-separated: folder-list position, folder name,
// title, hit area list, picture path. Exit 0 when something is found, 1 when nothing is (like grep).
int searchCommand(const Context& context, const QStringList& args)
{
    if (args.size() != 1)
        return context.fail(ExitUsage, QStringLiteral("search は検索する文字列を 1 つ取ります．使い方: ") +
                                           usageLines(u"search").join(u' '));
    if (args.first().isEmpty())
        return context.fail(ExitUsage, QStringLiteral("[検索アイテム名]を入力してください．"));
    Catalogue catalogue(context.root);
    catalogue.readFolderList();
    const QList<SearchRow> rows = catalogue.scan(args.first());
    for (const SearchRow& row : rows)
        context.out << row.folderPosition << u'\t' << displayPath(row.folder.mid(row.folder.lastIndexOf(u'/') + 1))
                    << u'\t' << row.title << u'\t' << row.hitAreaText() << u'\t' << displayPath(row.picturePath)
                    << u'\n';
    context.out.flush();
    return rows.isEmpty() ? 1 : ExitOk;
}

} // namespace kovra::cli
