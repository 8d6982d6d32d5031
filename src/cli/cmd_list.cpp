#include "Commands.h"
#include "ImageFolders.h"

#include <QFileInfo>

namespace kovra::cli {

// One line per listed folder, in folder-list order: name, title as the rebuilt image list shows it,
// and the picture the main window would load.
int listCommand(const Context& context, const QStringList& args)
{
    if (!args.isEmpty())
        return context.fail(ExitUsage,
                            QStringLiteral("list は引数を取りません．使い方: ") + usageLines(u"list").join(u' '));
    for (const TitleEntry& entry : titleList(folderList(context.root), nonTitled()))
        context.out << QFileInfo(entry.folder).fileName() << u'\t' << entry.title << u'\t'
                    << picturePathOf(entry.folder) << u'\n';
    context.out.flush();
    return ExitOk;
}

} // namespace kovra::cli
