#include "CatalogueGenerator.h"

#include "AreaFiles.h"
#include "CodePage.h"
#include "ImageFolders.h"
#include "Numbers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimeZone>
#include <array>

namespace kovra::bench {
namespace {

// splitmix64: small, fast and the same on every platform (std::uniform_int_distribution is not).
class Rng
{
public:
    explicit Rng(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }
    bool percent(int p) { return below(100) < p; }
    template <typename List>
    const auto& pick(const List& list)
    {
        return list[below(int(std::size(list)))];
    }

private:
    quint64 m_state;
};

const char16_t* const Words[] = {
    u"ボールペン",
    u"ペンチ",
    u"ガムテープ",
    u"ドライバー",
    u"パソコン",
    u"ノートパソコン",
    u"ケーブル",
    u"USBケーブル",
    u"HDMIケーブル",
    u"LANケーブル",
    u"USBメモリ",
    u"SDカード",
    u"マウス",
    u"キーボード",
    u"ヘッドホン",
    u"イヤホン",
    u"スマホ充電器",
    u"ACアダプター",
    u"延長コード",
    u"電池",
    u"単三電池",
    u"単四電池",
    u"ボタン電池",
    u"懐中電灯",
    u"工具箱",
    u"説明書",
    u"保証書",
    u"取扱説明書",
    u"印鑑",
    u"通帳",
    u"パスポート",
    u"年賀状",
    u"爪切り",
    u"体温計",
    u"救急箱",
    u"ばんそうこう",
    u"はさみ",
    u"のり",
    u"えんぴつ",
    u"けしゴム",
    u"ふうとう",
    u"便箋",
    u"切手",
    u"クリップ",
    u"ホッチキス",
    u"セロテープ",
    u"カッター",
    u"メジャー",
    u"スパナ",
    u"六角レンチ",
    u"ネジ",
    u"釘",
    u"金づち",
    u"ビニール袋",
    u"紙袋",
    u"ゴミ袋",
    u"タオル",
    u"バスタオル",
    u"シーツ",
    u"毛布",
    u"カーテン",
    u"電球",
    u"LED電球",
    u"蛍光灯",
    u"扇風機",
    u"ヒーター",
    u"加湿器",
    u"アイロン",
    u"ミシン",
    u"裁縫セット",
    u"ボタン",
    u"毛糸",
    u"アルバム",
    u"写真",
    u"DVD",
    u"CD-ROM",
    u"Blu-ray",
    u"ゲーム機",
    u"コントローラー",
    u"iPhone",
    u"iPad",
    u"Kindle",
    u"カメラ",
    u"三脚",
    u"レンズ",
    u"フィルム",
    u"傘",
    u"折りたたみ傘",
    u"長靴",
    u"スニーカー",
    u"サンダル",
    u"手袋",
    u"マフラー",
    u"帽子",
    u"水着",
    u"浮き輪",
    u"テント",
    u"寝袋",
    u"ランタン",
    u"クーラーボックス",
    u"バーベキューセット",
    u"花火",
    u"クリスマスツリー",
    u"ひな人形",
    u"こいのぼり",
    u"門松",
    u"お年玉袋",
    u"のし袋",
    u"ふろしき",
    u"てぬぐい",
    u"トイレットペーパー",
    u"ティッシュ",
    u"洗剤",
    u"シャンプー",
    u"歯ブラシ",
    u"マスク",
    u"薬",
    u"目薬",
    u"湿布",
    u"Tシャツ",
    u"Yシャツ",
    u"ネクタイ",
    u"ベルト",
    u"財布",
    u"鍵",
    u"スペアキー",
    u"Wi-Fiルーター",
    u"モデム",
    u"プリンター",
    u"インク",
    u"コピー用紙",
    u"ファイル",
    u"バインダー",
    u"ノート",
    u"手帳",
    u"カレンダー",
    u"地図",
};

const char16_t* const Suffixes[] = {
    u"（予備）", u" 2個",   u"セット", u"の箱", u"用",   u" x3", u"(古い)", u"　新品",
    u"No.5",     u"ケース", u"の替え", u"・大", u"・小", u" 白", u" 黒",    u"ほか",
};

const char16_t* const Places[] = {
    u"リビング", u"寝室",     u"書斎",   u"子供部屋", u"押入れ", u"クローゼット", u"納戸", u"物置",
    u"ガレージ", u"キッチン", u"洗面所", u"玄関",     u"屋根裏", u"ベランダ",     u"倉庫",
};

const char16_t* const Furniture[] = {
    u"本棚", u"棚",   u"引き出し", u"衣装ケース", u"収納ボックス",   u"吊戸棚",         u"下段",
    u"上段", u"右側", u"左側",     u"奥",         u"スチールラック", u"カラーボックス", u"段ボール",
};

bool isKatakana(QChar c)
{
    return c.unicode() >= 0x30A1 && c.unicode() <= 0x30F6;
}

bool isHiragana(QChar c)
{
    return c.unicode() >= 0x3041 && c.unicode() <= 0x3096;
}

// Full-width katakana (with their voiced forms) to half width, from Qt's own decomposition data.
QString toHalfWidthKana(const QString& text)
{
    static const auto table = [] {
        std::array<QString, 0x60> t; // index: katakana - 0x30A0
        for (char16_t h = 0xFF66; h <= 0xFF9D; ++h) {
            const QString full = QChar::decomposition(h);
            if (full.size() == 1 && full[0].unicode() >= 0x30A0 && full[0].unicode() < 0x3100)
                t[size_t(full[0].unicode() - 0x30A0)] = QString(QChar(h));
        }
        for (char16_t k = 0x30A0; k < 0x3100; ++k) {
            const QString d = QString(QChar(k)).normalized(QString::NormalizationForm_D);
            if (d.size() == 2 && !t[size_t(d[0].unicode() - 0x30A0)].isEmpty()) {
                if (d[1].unicode() == 0x3099)
                    t[size_t(k - 0x30A0)] = t[size_t(d[0].unicode() - 0x30A0)] + QChar(0xFF9E);
                else if (d[1].unicode() == 0x309A)
                    t[size_t(k - 0x30A0)] = t[size_t(d[0].unicode() - 0x30A0)] + QChar(0xFF9F);
            }
        }
        t[0x30FC - 0x30A0] = QString(QChar(0xFF70)); // ー
        return t;
    }();
    QString out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x30A0 && u < 0x3100) && !table[size_t(u - 0x30A0)].isEmpty())
            out += table[size_t(u - 0x30A0)];
        else
            out += c;
    }
    return out;
}

QString shiftKana(const QString& text, bool toHiragana)
{
    QString out = text;
    for (QChar& c : out) {
        if (toHiragana && isKatakana(c))
            c = QChar(char16_t(c.unicode() - 0x60));
        else if (!toHiragana && isHiragana(c))
            c = QChar(char16_t(c.unicode() + 0x60));
    }
    return out;
}

QString toFullWidthAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() > 0x20 && c.unicode() < 0x7F)
            c = QChar(char16_t(c.unicode() + 0xFEE0));
    }
    return out;
}

QString keepIfEncodable(const QString& varied, const QString& original)
{
    return codepage::canEncode(varied) ? varied : original;
}

QString makeItem(Rng& r)
{
    QString item = QString::fromUtf16(r.pick(Words));
    if (r.percent(20))
        item += QString::fromUtf16(r.pick(Suffixes));
    if (r.percent(8))
        item += u'と' + QString::fromUtf16(r.pick(Words));
    if (r.percent(3)) { // a note rather than a name
        const int words = 4 + r.below(10);
        for (int k = 0; k < words; ++k)
            item += u'、' + QString::fromUtf16(r.pick(Words));
    }
    if (r.percent(1)) { // longer than the 255 bytes the search reads
        while (codepage::encode(item).value_or(QByteArray()).size() <= 300)
            item += QStringLiteral("、") + QString::fromUtf16(r.pick(Words));
    }
    if (r.percent(12))
        item = toHalfWidthKana(item);
    else if (r.percent(8))
        item = keepIfEncodable(shiftKana(item, true), item);
    if (r.percent(4))
        item = shiftKana(item, false);
    if (r.percent(15))
        item = keepIfEncodable(toFullWidthAscii(item), item);
    if (r.percent(10))
        item = item.toUpper();
    else if (r.percent(10))
        item = item.toLower();
    return keepIfEncodable(item, QStringLiteral("item"));
}

QString makeTitle(Rng& r, int index)
{
    QString title = QString::fromUtf16(r.pick(Places)) + u' ' + QString::fromUtf16(r.pick(Furniture));
    if (r.percent(50))
        title += u' ' + QString::number(1 + r.below(9));
    if (r.percent(5))
        title = QStringLiteral("Shelf %1").arg(index);
    return title;
}

QString geometry(Rng& r, int limit)
{
    if (r.percent(10))
        return numbers::formatSingle(float(r.below(limit * 2)) / 2.0f);
    return QString::number(r.below(limit));
}

class Writer
{
public:
    QByteArray bytes;
    bool ok = true;

    void line(const QString& text)
    {
        const auto encoded = codepage::encode(text);
        if (!encoded) {
            ok = false;
            return;
        }
        bytes += *encoded;
        bytes += "\r\n";
    }
};

bool writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

QByteArray areaFile(Rng& r, bool inUse, bool hasItems)
{
    Writer w;
    const bool itemsFirst = hasItems && r.percent(3); // items saved before the arrangement ever was
    auto area = [&] {
        w.line(QStringLiteral("[Area]"));
        w.line(inUse ? QStringLiteral("Visible=True") : QStringLiteral("Visible=False"));
        w.line(QStringLiteral("Left=") + geometry(r, 900));
        w.line(QStringLiteral("Top=") + geometry(r, 700));
        w.line(QStringLiteral("Width=") + geometry(r, 300));
        w.line(QStringLiteral("Height=") + geometry(r, 300));
    };
    auto items = [&] {
        const int n = hasItems ? 1 + r.below(10) : 0;
        w.line(QStringLiteral("[ItemCount]"));
        w.line(QStringLiteral("Sum=") + QString::number(n));
        if (n == 0)
            return;
        w.line(QStringLiteral("[Items]"));
        for (int k = 0; k < n; ++k)
            w.line(QStringLiteral("Item%1=").arg(k) + makeItem(r));
    };
    if (itemsFirst) {
        items();
        area();
    } else {
        area();
        if (inUse || hasItems)
            items();
    }
    return w.bytes;
}

} // namespace

bool generateCatalogue(const QString& root, int images, quint64 seed, QString* error)
{
    const QDir rootDir(root);
    if (!QDir().mkpath(root)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(root);
        return false;
    }
    const QString absoluteRoot = rootDir.absolutePath();
    const QString manual = absoluteRoot + QStringLiteral("/manual");
    if (!QDir().mkpath(manual) ||
        !writeFile(manual + QStringLiteral("/manual.htm"), "<html><body>Kovra</body></html>\r\n", error))
        return false;

    // A fixed time zone keeps folder names the same on every machine.
    QDateTime when(QDate(2015, 1, 1), QTime(9, 0), QTimeZone::utc());
    for (int i = 0; i < images; ++i) {
        Rng r(seed * 0x100000001B3ull + quint64(i));
        when = when.addSecs(60 + r.below(86400));
        const QString name = imageFolderName(when);
        const QString folder = absoluteRoot + u'/' + name;
        if (!QDir().mkpath(folder)) {
            if (error)
                *error = QStringLiteral("cannot create %1").arg(folder);
            return false;
        }

        const QString picture = r.percent(80) ? QStringLiteral("IMG_%1.JPG").arg(1000 + r.below(9000))
                                              : QStringLiteral("写真%1.jpg").arg(i);
        // A small stand-in for the photo: a JPEG header and some bytes.
        QByteArray pictureBytes("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
        for (int k = 0; k < 256 + r.below(768); ++k)
            pictureBytes += char(r.below(256));
        pictureBytes += "\xFF\xD9";
        if (!writeFile(folder + u'/' + picture, pictureBytes, error))
            return false;

        // Most catalogues were written here; some came from the Windows build with its paths.
        const bool windowsPaths = r.percent(10);
        const QString storedFolder = windowsPaths ? QStringLiteral("C:\\Program Files\\Kovra\\") + name : folder;
        const QString separator = windowsPaths ? QStringLiteral("\\") : QStringLiteral("/");
        Writer ini;
        ini.line(QStringLiteral("[ImageFile]"));
        ini.line(QStringLiteral("Path=") + storedFolder);
        ini.line(QStringLiteral("Filename=") + storedFolder + separator + picture);
        ini.line(QStringLiteral("Title=") + makeTitle(r, i));
        if (!ini.ok || !writeFile(imageIniPath(folder), ini.bytes, error))
            return false;

        // Areas opened in turn from index 0; now and then one was deleted later and keeps its items.
        const int opened = 1 + r.below(12);
        for (int a = 0; a < AreaCount; ++a) {
            bool inUse = a < opened;
            bool hasItems = inUse && !r.percent(15);
            if (inUse && r.percent(6)) {
                inUse = false;
                hasItems = r.percent(50);
            }
            if (!writeFile(areaFilePath(folder, a), areaFile(r, inUse, hasItems), error))
                return false;
        }
    }
    return true;
}

} // namespace kovra::bench
