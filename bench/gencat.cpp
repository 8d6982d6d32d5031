// kovra-gencat [--seed S] N DIR: writes a synthetic catalogue of N images into DIR.
#include "CatalogueGenerator.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    quint64 seed = 1;
    if (args.size() >= 2 && args[0] == u"--seed") {
        bool ok = false;
        seed = args[1].toULongLong(&ok);
        if (!ok) {
            std::fputs("kovra-gencat: --seed needs a number\n", stderr);
            return 2;
        }
        args = args.mid(2);
    }
    bool ok = false;
    const int images = args.size() == 2 ? args[0].toInt(&ok) : 0;
    if (!ok || images < 0) {
        std::fputs("usage: kovra-gencat [--seed S] N DIR\n", stderr);
        return 2;
    }
    QString error;
    if (!kovra::bench::generateCatalogue(args[1], images, seed, &error)) {
        std::fprintf(stderr, "kovra-gencat: %s\n", error.toUtf8().constData());
        return 1;
    }
    return 0;
}
