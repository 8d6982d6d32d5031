// The start-up notice about merged conflict copies, through the message-box seam.
#include "Catalogue.h"
#include "ConflictNotice.h"
#include "FixtureCatalogue.h"
#include "MessageBox.h"

#include <QTest>

using namespace kovra;
using namespace kovra::test;
using namespace Qt::StringLiterals;

namespace {

ConflictMerge merge(int area, QList<QByteArray> items = {}, bool rect = false)
{
    ConflictMerge m;
    m.title = u"棚"_s;
    m.area = area;
    m.itemsAdded = std::move(items);
    m.rectTaken = rect;
    m.copyRemoved = true;
    return m;
}

} // namespace

class tst_ConflictNotice : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<QList<ConflictMerge>>("merges");
        QTest::addColumn<QString>("text"); // empty: no notice
        const QString head = u"同期の競合コピーを，次のとおりまとめました．\n\n"_s;

        QTest::newRow("none") << QList<ConflictMerge>{} << QString();
        QTest::newRow("nothing taken over") << QList<ConflictMerge>{merge(0)} << QString();
        QTest::newRow("items and rectangle")
            << QList<ConflictMerge>{merge(3, {cp932(u"鉛筆"_s), "a"}, true)}
            << head + u"「棚」エリア 3：項目「鉛筆」「a」を加え，枠を取り込みました．"_s;
        QTest::newRow("many items counted") << QList<ConflictMerge>{merge(0, {"a", "b", "c", "d", "e"})}
                                            << head + u"「棚」エリア 0：項目「a」「b」「c」ほか 2 個を加えました．"_s;
        ConflictMerge title = merge(-1);
        title.copyTitle = u"本棚"_s;
        QTest::newRow("title differs") << QList<ConflictMerge>{title}
                                       << head + u"「棚」：コピーの題名「本棚」は使いませんでした．"_s;
        ConflictMerge became = merge(5);
        became.copyBecameFile = true;
        QTest::newRow("copy became the file")
            << QList<ConflictMerge>{became}
            << head + u"「棚」エリア 5：ファイルがないため，コピーをファイルにしました．"_s;
        ConflictMerge bad = merge(2);
        bad.problem = ConflictMerge::Problem::CopyUnreadable;
        bad.copyRemoved = false;
        QTest::newRow("copy kept") << QList<ConflictMerge>{merge(1), bad}
                                   << head + u"「棚」エリア 2：コピーを読めないため，まとめずに残しました．"_s;

        QList<ConflictMerge> twelve;
        QStringList lines;
        for (int i = 0; i < 12; ++i) {
            twelve.append(merge(i, {}, true));
            if (i < ConflictNoticeLines)
                lines.append(u"「棚」エリア %1：枠を取り込みました．"_s.arg(i));
        }
        QTest::newRow("ten lines, the rest counted") << twelve << head + lines.join(u'\n') + u"\nほか 2 件"_s;
    }
    void text()
    {
        QFETCH(QList<ConflictMerge>, merges);
        QFETCH(QString, text);
        QCOMPARE(conflictNoticeText(merges), text);
        MessageBoxRecorder boxes;
        tellMergedConflicts(nullptr, merges);
        QCOMPARE(boxes.requests().size(), text.isEmpty() ? 0u : 1u);
    }

    // The program's start: the catalogue merges, the main window's notice names what it took over, once.
    void startUpNotice()
    {
        CatalogueBuilder cat;
        const QString shelf = cat.addImage(u"20240101000000"_s, cp932(u"棚"_s));
        cat.writeArea(shelf, 4, areaSection(true, 1, 1, 1, 1) + itemSections({"a"}));
        cat.write(shelf + u"/Area4.sync-conflict-20261209-031500-ABCD123.INI"_s,
                  areaSection(true, 1, 1, 1, 1) + itemSections({"a", cp932(u"鉛筆"_s)}));
        Catalogue catalogue(cat.root());
        MessageBoxRecorder boxes;
        tellMergedConflicts(nullptr, catalogue.mergeConflictCopies());
        QCOMPARE(boxes.requests().size(), 1u);
        const MessageBox::Request& box = boxes.requests().front();
        QCOMPARE(box.icon, MessageBox::Icon::Information);
        QCOMPARE(box.buttons, MessageBox::Buttons::Ok);
        QCOMPARE(box.caption, u"Kovra"_s);
        QCOMPARE(box.text,
                 u"同期の競合コピーを，次のとおりまとめました．\n\n「棚」エリア 4：項目「鉛筆」を加えました．"_s);
        // The next start finds nothing left to tell.
        tellMergedConflicts(nullptr, catalogue.mergeConflictCopies());
        QCOMPARE(boxes.requests().size(), 1u);
    }
};

QTEST_MAIN(tst_ConflictNotice)
#include "tst_conflictnotice.moc"
