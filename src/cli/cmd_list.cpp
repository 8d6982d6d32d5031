#include "Catalogue.h"
#include "Commands.h"
#include "ImageFolders.h"
#include "NativePath.h"

namespace kovra::cli {

// One line per listed folder, in folder-list order: name, title as the rebuilt image list shows it,
// and the picture the main window would load. Bytes of a name that are no UTF-8 show as \xNN.
int listCommand(const Context& context, const QStringList& args)
{
    if (!args.isEmpty())
        return context.fail(ExitUsage,
                            QStringLiteral("list は引数を取りません．使い方: ") + usageLines(u"list").join(u' '));
    Catalogue catalogue(context.root);
    catalogue.rebuildImageList(nonTitled(), false);
    for (const TitleEntry& entry : catalogue.imageList())
        context.out << displayPath(entry.folder.mid(entry.folder.lastIndexOf(u'/') + 1)) << u'\t' << entry.title
                    << u'\t' << displayPath(picturePathOf(entry.folder)) << u'\n';
    context.out.flush();
    return ExitOk;
}

} // namespace kovra::cli
