#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int cmdSearch(const QString& root, const QStringList& args);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    QString root = QCoreApplication::applicationDirPath();
    if (args.size() >= 2 && args[0] == u"--root") {
        root = args[1];
        args = args.mid(2);
    }
    if (!args.isEmpty() && args[0] == u"search")
        return cmdSearch(root, args.mid(1));
    std::fputs("usage: kovra-cli [--root DIR] search TEXT\n", stderr);
    return 2;
}
