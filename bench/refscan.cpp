// kovra-refscan DIR TEXT: the one-read-per-key search, printing what `kovra-cli --root DIR search TEXT`
// prints, so the benchmark can time it and compare the output.
#include "ImageFolders.h"
#include "ReferenceScan.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 2 || args[1].isEmpty()) {
        std::fputs("usage: kovra-refscan DIR TEXT\n", stderr);
        return 2;
    }
    const QStringList folders = kovra::folderList(args[0]);
    const QList<kovra::SearchRow> rows = kovra::bench::referenceSearch(folders, args[1]);
    QByteArray out;
    for (const kovra::SearchRow& row : rows) {
        out += QString::number(row.folderPosition).toUtf8() + '\t' + QFileInfo(row.folder).fileName().toUtf8() + '\t' +
               row.title.toUtf8() + '\t' + row.hitAreaText().toUtf8() + '\t' + row.picturePath.toUtf8() + '\n';
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return rows.isEmpty() ? 1 : 0;
}
