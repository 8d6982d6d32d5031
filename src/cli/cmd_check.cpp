#include "AreaFiles.h"
#include "CodePage.h"
#include "Commands.h"
#include "ConflictCopies.h"
#include "FileOps.h"
#include "ImageFolders.h"
#include "NativePath.h"
#include "Numbers.h"
#include "ProfileFile.h"

#include <QSet>
#include <QStringDecoder>
#include <array>

namespace kovra::cli {
namespace {

const QString ImageSection = QStringLiteral("ImageFile");

// A stored value as a message shows it: control characters visible, long values shortened.
QString shown(QStringView text)
{
    QString out;
    for (QChar c : text) {
        if (out.size() >= 40) {
            out += u'…';
            break;
        }
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            out += c;
    }
    return u'"' + out + u'"';
}

// Exists as a directory entry, including a symbolic link that leads nowhere.
bool present(const QString& path)
{
    return isPresent(path);
}

// Opened as the main window opens it, and its first byte read: a picture is never read whole here.
bool canReadPicture(const QString& path)
{
    const std::unique_ptr<QFile> file = openRegularFile(path);
    char first;
    return file && file->read(&first, 1) >= 0;
}

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString sourceName(ConflictName::Source source)
{
    switch (source) {
    case ConflictName::Source::Syncthing:
        return QStringLiteral("Syncthing");
    case ConflictName::Source::Nextcloud:
        return QStringLiteral("Nextcloud/ownCloud");
    case ConflictName::Source::Dropbox:
        return QStringLiteral("Dropbox");
    }
    return {};
}

// What a conflict copy gives the file: as a plan (done false) or as done.
QString conflictMessage(const ConflictMerge& m, bool done)
{
    QString text = QStringLiteral("%1 の同期の競合コピーです（%2）．").arg(m.fileName, sourceName(m.source));
    switch (m.problem) {
    case ConflictMerge::Problem::CopyTooLarge:
        return text + QStringLiteral("INI ファイルとして大きすぎるため（上限 %1 バイト）読みません．"
                                     "まとめず，コピーは残します．")
                          .arg(MaxProfileFileSize);
    case ConflictMerge::Problem::CopyUnreadable:
        return text + QStringLiteral("読めないか，INI ファイルではありません．まとめず，コピーは残します．");
    case ConflictMerge::Problem::FileUnreadable:
        return text + QStringLiteral("%1 を読めないため，まとめず，コピーは残します．").arg(m.fileName);
    case ConflictMerge::Problem::WriteFailed:
        return text + QStringLiteral("%1 に書き込めなかったため，コピーは残しました．").arg(m.fileName);
    case ConflictMerge::Problem::TooManyItems:
        return text + QStringLiteral("項目を合わせると Sum の上限 32767 を超えるため，まとめず，コピーは残します．");
    case ConflictMerge::Problem::None:
    case ConflictMerge::Problem::RemoveFailed:
        break;
    }
    const QString will = done ? QStringLiteral("ました") : QStringLiteral("ます");
    if (m.copyBecameFile)
        text += QStringLiteral("%1 がないため，コピーを %1 にし%2．").arg(m.fileName, will);
    if (!m.itemsAdded.isEmpty()) {
        QStringList names;
        for (qsizetype k = 0; k < m.itemsAdded.size() && k < 3; ++k)
            names.append(shown(codepage::decode(m.itemsAdded[k])));
        text += QStringLiteral("項目 %1 個（%2%3）を加え%4．")
                    .arg(m.itemsAdded.size())
                    .arg(names.join(QStringLiteral(", ")),
                         m.itemsAdded.size() > 3 ? QStringLiteral(" ほか") : QString(), will);
    }
    if (m.rectTaken)
        text += QStringLiteral("使われていないエリアにコピーの枠を取り込み%1．").arg(will);
    if (m.copyTitle)
        text += QStringLiteral("コピーの題名 %1 は使わず，ファイルの題名のままにし%2．").arg(shown(*m.copyTitle), will);
    if (!m.takesOver())
        text += QStringLiteral("ファイルにない内容はありません．");
    if (m.problem == ConflictMerge::Problem::RemoveFailed)
        return text + QStringLiteral("コピーを消せませんでした．");
    return text + (done ? QStringLiteral("コピーを消しました．")
                        : QStringLiteral("kovra-cli check --merge でまとめ，コピーを消します．"));
}

class Checker
{
public:
    Checker(const Context& context, bool merge) : m_context(context), m_merge(merge) {}

    int problems() const { return m_problems; }

    void run()
    {
        if (hasEscapedBytes(m_context.root))
            report(m_context.root,
                   QStringLiteral(
                       "プログラムフォルダのパスに UTF-8 でないバイトがあります（\\xNN で示します）．"
                       "読み書きはできますが，このパスは INI ファイルに保存できないため，イメージ登録はできません．"));
        checkSettings();
        checkLeftovers(m_context.root);
        const QStringList folders = folderList(m_context.root);
        checkSkippedLinks(folders);
        if (m_merge)
            mergeConflicts(folders);
        QSet<QString> canonical;
        for (const QString& folder : folders)
            if (!isSymLink(folder) && !isManualFolder(folder))
                canonical.insert(canonicalPath(folder));
        for (const QString& folder : folders)
            if (!isManualFolder(folder))
                checkFolder(folder, canonical);
        m_context.out.flush();
    }

private:
    // What the merge did goes out as a line too, but only what it left undone counts as a problem.
    void mergeConflicts(const QStringList& folders)
    {
        for (const QString& folder : folders) {
            if (isManualFolder(folder))
                continue;
            for (const ConflictMerge& m : mergeConflictCopies(folder, ConflictMode::Merge)) {
                report(folder + u'/' + m.copyName, conflictMessage(m, true));
                if (m.problem == ConflictMerge::Problem::None)
                    --m_problems;
            }
        }
    }

    void checkConflicts(const QString& folder)
    {
        for (const ConflictMerge& m : mergeConflictCopies(folder, ConflictMode::Preview))
            report(folder + u'/' + m.copyName, conflictMessage(m, false));
    }

    void report(const QString& path, const QString& message)
    {
        const QString prefix = m_context.root + u'/';
        const QString where = path == m_context.root    ? QStringLiteral(".")
                              : path.startsWith(prefix) ? path.mid(prefix.size())
                                                        : path;
        m_context.out << displayPath(where) << u'\t' << displayPath(message) << u'\n';
        ++m_problems;
    }

    // How the bytes of a file fail to be text of code page 932: another encoding, NUL bytes, or bytes
    // that are no character of the code page. One line per file, naming the first line it concerns.
    void checkText(const QString& path, const QByteArray& bytes)
    {
        if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
            report(path, QStringLiteral("UTF-16 で書かれています．code page 932 のファイルとしては読めません．"));
            return;
        }
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            report(path, QStringLiteral("UTF-8 で書かれています．code page 932 のファイルとしては読めません．"));
            return;
        }
        qsizetype line = 1;
        qsizetype start = 0;
        bool nul = false;
        qsizetype badLine = 0;
        while (start < bytes.size() && !badLine) {
            qsizetype end = start;
            while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
                ++end;
            const QByteArrayView text(bytes.constData() + start, end - start);
            if (text.contains('\0')) {
                nul = true;
                badLine = line;
            } else if (codepage::decode(text).contains(QChar(0xFFFD))) {
                badLine = line;
            }
            start = end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
            ++line;
        }
        if (!badLine)
            return;
        if (nul) {
            report(path,
                   QStringLiteral("%1 行目に NUL 文字があります．その先はその行の値として読まれません．").arg(badLine));
            return;
        }
        auto utf8 = QStringDecoder(QStringDecoder::Utf8);
        const QString asUtf8 = utf8(bytes);
        if (!utf8.hasError())
            report(path,
                   QStringLiteral("UTF-8 で書かれているようです（%1 行目に code page 932 にない文字があります）．")
                       .arg(badLine));
        else
            report(path, QStringLiteral("%1 行目に code page 932 の文字でないバイトがあります．").arg(badLine));
    }

    // Loads an INI file for checking; nullopt (after reporting why) when it cannot be read as one.
    std::optional<ProfileFile> load(const QString& path)
    {
        const PathKind kind = pathKind(existingPath(path));
        if (kind == PathKind::Folder) {
            report(path, QStringLiteral("ファイルではなくフォルダです．読めません．"));
            return std::nullopt;
        }
        ProfileFile file = ProfileFile::load(path);
        if (file.status() == ProfileFile::Status::TooLarge) {
            report(path, QStringLiteral("%1 バイトあり、INI ファイルとして大きすぎるため（上限 %2 バイト）読みません．"
                                        "中身は空として扱われ、書き込みもできません．")
                             .arg(pathStatus(existingPath(path)).size)
                             .arg(MaxProfileFileSize));
            return std::nullopt;
        }
        if (file.status() != ProfileFile::Status::Loaded) {
            report(path, isSymLink(existingPath(path)) && kind == PathKind::Missing
                             ? QStringLiteral("シンボリックリンクの先がありません．読めません．")
                             : QStringLiteral("読めません．"));
            return std::nullopt;
        }
        checkText(path, file.bytes());
        return file;
    }

    void checkLeftovers(const QString& folder)
    {
        for (const QString& name : folderEntries(folder))
            if (isTempName(name) && isRegularFile(folder + u'/' + name))
                report(folder + u'/' + name,
                       QStringLiteral("書き込みの途中で残った一時ファイルです．次の起動で消されます．"));
    }

    void checkSettings()
    {
        const QString path = m_context.root + QStringLiteral("/KOVRA.INI");
        if (present(existingPath(path)))
            load(path);
    }

    // Links in the program folder that the folder list leaves out.
    void checkSkippedLinks(const QStringList& folders)
    {
        const QSet<QString> listed(folders.cbegin(), folders.cend());
        for (const QString& name : folderEntries(m_context.root)) {
            const QString path = m_context.root + u'/' + name;
            // Hidden entries are left out of the list by rule, not by fault.
            if (name.startsWith(u'.') || !isSymLink(path) || listed.contains(path))
                continue;
            const PathKind kind = pathKind(path);
            if (kind == PathKind::Missing)
                report(path,
                       QStringLiteral(
                           "シンボリックリンクの先がありません（ループか、消えたフォルダ）．一覧には出しません．"));
            else if (kind == PathKind::Folder)
                report(path,
                       QStringLiteral(
                           "プログラムフォルダを指すシンボリックリンクです．画像として読まず、一覧には出しません．"));
        }
    }

    void checkFolder(const QString& folder, const QSet<QString>& listed)
    {
        if (isSymLink(folder)) {
            const QString target = canonicalPath(folder);
            if (listed.contains(target)) {
                report(folder,
                       QStringLiteral(
                           "画像フォルダ %1 を指すシンボリックリンクです．同じ画像が二度並び、削除はできません．")
                           .arg(fileNameOf(target)));
                return;
            }
            report(folder,
                   QStringLiteral("シンボリックリンクです（%1）．削除はできません．").arg(symLinkTarget(folder)));
        }
        if (hasEscapedBytes(fileNameOf(folder)))
            report(folder, QStringLiteral(
                               "フォルダ名に UTF-8 でないバイトがあります（\\xNN で示します）．"
                               "画像として読み書きはできますが，このフォルダのパスは INI ファイルに保存できません．"));

        if (!m_merge)
            checkConflicts(folder);
        const QString imageIni = imageIniPath(folder);
        bool anyArea = false;
        for (int i = 0; i < AreaCount && !anyArea; ++i)
            anyArea = present(existingPath(areaFilePath(folder, i)));
        if (!present(existingPath(imageIni)) && !anyArea) {
            report(folder, QStringLiteral("画像フォルダではありません（IMAGE.INI もエリアファイルもありません）．"
                                          "一覧には \"Non Titled\" として並びます．"));
            return;
        }
        checkLeftovers(folder);
        checkImageIni(folder, imageIni);
        checkAreas(folder);
    }

    void checkImageIni(const QString& folder, const QString& path)
    {
        if (!present(existingPath(path))) {
            report(path, QStringLiteral("ありません．題名は \"Non Titled\" になり、画像は表示されません．"));
            return;
        }
        const auto file = load(path);
        if (!file)
            return;
        if (!file->hasSection(ImageSection)) {
            report(path,
                   QStringLiteral(
                       "セクション [ImageFile] がありません．題名は \"Non Titled\" になり、画像は表示されません．"));
            return;
        }
        if (!file->rawValue(ImageSection, u"Title"))
            report(path, QStringLiteral("Title がありません．題名は \"Non Titled\" になります．"));
        // The main window's own resolution, so that check and the program never disagree.
        const PictureResolution picture = resolvePicture(folder);
        if (picture.stored.isEmpty()) {
            report(path, QStringLiteral("Filename がありません．画像は表示されません．"));
            return;
        }
        if (!picture.found)
            report(path, QStringLiteral("Filename %1 の画像ファイルが、その場所にも画像フォルダの中にもありません．")
                             .arg(shown(picture.stored)));
        else if (!canReadPicture(picture.path))
            report(picture.path, QStringLiteral("画像ファイルを読めません．"));
    }

    void checkAreas(const QString& folder)
    {
        const auto loaded = loadImageAreas(folder);
        for (int i = 0; i < AreaCount; ++i) {
            const QString path = areaFilePath(folder, i);
            if (!present(existingPath(path)))
                continue;
            const auto file = load(path);
            if (!file)
                continue;
            checkVisible(path, *file, loaded[size_t(i)], i);
            checkItems(path, *file);
        }
    }

    void checkVisible(const QString& path, const ProfileFile& file, const LoadedArea& area, int index)
    {
        const auto visible = file.value(AreaSection, u"Visible");
        if (visible && *visible != u"True" && *visible != u"False")
            report(path,
                   QStringLiteral(
                       "Visible の値 %1 は \"True\" でも \"False\" でもありません．使われていないエリアになります．")
                       .arg(shown(*visible)));
        if (area.state != LoadedArea::State::Failed)
            return;
        size_t failed = 0;
        while (failed < area.geometry.size() && area.geometry[failed])
            ++failed;
        const QString key = GeometryKeys[std::min(failed, GeometryKeys.size() - 1)];
        const auto value = file.value(AreaSection, key);
        const QString what = value ? QStringLiteral("%1 の値 %2 を 16 ビットの整数にできません").arg(key, shown(*value))
                                   : QStringLiteral("%1 がありません").arg(key);
        report(path,
               QStringLiteral("Visible=True ですが %1．エリア %2 から後の枠は表示されません．").arg(what).arg(index));
    }

    void checkItems(const QString& path, const ProfileFile& file)
    {
        const auto sumText = file.value(ItemCountSection, u"Sum");
        const QList<QByteArray> keys = file.keyNames(ItemsSection);
        int count = 0;
        if (!sumText) {
            if (!keys.isEmpty())
                report(path, QStringLiteral("Items に %1 個のキーがありますが Sum がありません．項目は読まれません．")
                                 .arg(keys.size()));
            return;
        }
        // The item window reads Sum with its 10-byte buffer, the search with 126 bytes.
        const auto forWindow = numbers::toInt16(file.read(ItemCountSection, u"Sum", u"0", ItemSumBufferSize));
        const auto forSearch = numbers::toInt16(file.read(ItemCountSection, u"Sum", u"0", SearchSumBufferSize));
        if (!forWindow || !forSearch) {
            report(path,
                   QStringLiteral("Sum の値 %1 は項目の数として読めません．項目は読まれません．").arg(shown(*sumText)));
            return;
        }
        count = std::max<int>(0, *forSearch);
        if (*forSearch < 0)
            report(path, QStringLiteral("Sum の値 %1 が負です．項目は読まれません．").arg(shown(*sumText)));

        // Which ItemK keys are there: canonical names only (Item0, Item12; not Item012 or Item+1).
        QSet<int> present;
        int unread = 0;
        QStringList unreadNames;
        for (const QByteArray& raw : keys) {
            const QByteArray name = foldName(raw);
            bool ok = false;
            const int k = name.startsWith("item") ? name.mid(4).toInt(&ok) : -1;
            if (ok && k >= 0 && k < count && name == "item" + QByteArray::number(k) && !present.contains(k)) {
                present.insert(k);
                continue;
            }
            ++unread;
            if (unreadNames.size() < 3)
                unreadNames.append(shown(codepage::decode(raw)));
        }
        const int missing = count - int(present.size());
        if (missing > 0) {
            QStringList names;
            for (int k = 0; k < count && names.size() < 3; ++k)
                if (!present.contains(k))
                    names.append(QStringLiteral("Item%1").arg(k));
            report(path, QStringLiteral("Sum は %1 ですが %2 個の項目がありません（%3%4）．空の行として読まれます．")
                             .arg(count)
                             .arg(missing)
                             .arg(names.join(QStringLiteral(", ")), missing > 3 ? QStringLiteral(" ほか") : QString()));
        }
        if (unread > 0)
            report(path,
                   QStringLiteral("Items の %1 個のキーは Sum=%2 の項目に入らず、読まれません（%3%4）．")
                       .arg(unread)
                       .arg(count)
                       .arg(unreadNames.join(QStringLiteral(", ")), unread > 3 ? QStringLiteral(" ほか") : QString()));
        for (int k = 0; k < count; ++k) {
            if (!present.contains(k))
                continue;
            const auto raw = file.rawValue(ItemsSection, QStringLiteral("Item%1").arg(k));
            if (raw && raw->size() >= ItemBufferSize)
                report(path, QStringLiteral("Item%1 は %2 バイトあり、検索では先頭 255 バイトだけが照合されます．")
                                 .arg(k)
                                 .arg(raw->size()));
        }
    }

    const Context& m_context;
    const bool m_merge;
    int m_problems = 0;
};

} // namespace

// Reads the whole catalogue with the program's own rules and reports, one line each (path, tab, reason),
// what the program could not use, and the conflict copies of sync programs with what merging them would
// change. Changes nothing, except with --merge, which first merges the copies and reports what it did.
// Exit 0 when clean (merged copies do not count), 1 when something was reported.
int checkCommand(const Context& context, const QStringList& args)
{
    const bool merge = args == QStringList{QStringLiteral("--merge")};
    if (!args.isEmpty() && !merge)
        return context.fail(ExitUsage, QStringLiteral("check の引数は --merge だけです．使い方: ") +
                                           usageLines(u"check").join(u' '));
    Checker checker(context, merge);
    checker.run();
    return checker.problems() == 0 ? ExitOk : ExitRefused;
}

} // namespace kovra::cli
