#include "ConflictNotice.h"

#include "CodePage.h"
#include "MessageBox.h"

#include <QStringList>

namespace kovra {
namespace {

// Items named in a line; more are counted.
constexpr qsizetype ItemsNamed = 3;

QString itemList(const QList<QByteArray>& items)
{
    QString text;
    for (qsizetype k = 0; k < items.size() && k < ItemsNamed; ++k)
        text += u'「' + codepage::decode(items[k]) + u'」';
    if (items.size() > ItemsNamed)
        text += QStringLiteral("ほか %1 個").arg(items.size() - ItemsNamed);
    return text;
}

// One line, or empty when the copy held nothing the file lacked.
QString lineOf(const ConflictMerge& m)
{
    const QString where =
        u'「' + m.title + u'」' + (m.area >= 0 ? QStringLiteral("エリア %1").arg(m.area) : QString()) + u'：';
    switch (m.problem) {
    case ConflictMerge::Problem::CopyTooLarge:
    case ConflictMerge::Problem::CopyUnreadable:
        return where + QStringLiteral("コピーを読めないため，まとめずに残しました．");
    case ConflictMerge::Problem::FileUnreadable:
    case ConflictMerge::Problem::WriteFailed:
        return where + QStringLiteral("ファイルに書き込めないため，コピーをまとめずに残しました．");
    case ConflictMerge::Problem::TooManyItems:
        return where + QStringLiteral("項目が多すぎるため，コピーをまとめずに残しました．");
    case ConflictMerge::Problem::None:
    case ConflictMerge::Problem::RemoveFailed:
        break;
    }
    QStringList done;
    if (m.copyBecameFile)
        done.append(QStringLiteral("ファイルがないため，コピーをファイルにし"));
    if (!m.itemsAdded.isEmpty())
        done.append(QStringLiteral("項目%1を加え").arg(itemList(m.itemsAdded)));
    if (m.rectTaken)
        done.append(QStringLiteral("枠を取り込み"));
    QString line;
    if (!done.isEmpty())
        line = done.join(u'，') + QStringLiteral("ました．");
    if (m.copyTitle)
        line += QStringLiteral("コピーの題名「%1」は使いませんでした．").arg(*m.copyTitle);
    if (m.problem == ConflictMerge::Problem::RemoveFailed)
        line += QStringLiteral("コピーを消せませんでした．");
    return line.isEmpty() ? QString() : where + line;
}

} // namespace

QString conflictNoticeText(const QList<ConflictMerge>& merges)
{
    QStringList lines;
    for (const ConflictMerge& m : merges)
        if (const QString line = lineOf(m); !line.isEmpty())
            lines.append(line);
    if (lines.isEmpty())
        return {};
    QString text = QStringLiteral("同期の競合コピーを，次のとおりまとめました．\n\n");
    text += QStringList(lines.mid(0, ConflictNoticeLines)).join(u'\n');
    if (lines.size() > ConflictNoticeLines)
        text += QStringLiteral("\nほか %1 件").arg(lines.size() - ConflictNoticeLines);
    return text;
}

void tellMergedConflicts(QWidget* parent, const QList<ConflictMerge>& merges)
{
    const QString text = conflictNoticeText(merges);
    if (!text.isEmpty())
        MessageBox::notice(parent, text);
}

} // namespace kovra
