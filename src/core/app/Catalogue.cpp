#include "Catalogue.h"

#include "CodePage.h"
#include "FolderWatcher.h"
#include "GifCheck.h"
#include "NativePath.h"
#include "PictureSource.h"
#include "ProfileFile.h"
#include "ProgramFolder.h"
#include "SearchIndex.h"
#include "ShownImage.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QImageWriter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

namespace kovra {
namespace {

// True when the profile reader gives value back exactly as written: it trims blanks around a value and
// takes off one pair of equal quotes around it, which would change a stored name or title.
bool readsBackAsWritten(const QString& value)
{
    ProfileFile ini;
    const QString section = QStringLiteral("ImageFile");
    const QString key = QStringLiteral("Value");
    return ini.set(section, key, value) == WriteStatus::Ok && ini.value(section, key) == value;
}

bool hasOuterBlank(QStringView text)
{
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    return !text.isEmpty() && (blank(text.front()) || blank(text.back()));
}

// A burst (a sync program writes a folder's files one after another) ends after this quiet time, and is
// taken at the latest this long after its first change.
constexpr int QuietMs = 150;
constexpr int LongestWaitMs = 700;
// An arriving picture that cannot be read yet is tried again this often, and refused after so many tries.
constexpr int SettleMs = 400;
constexpr int SettleTries = 15;

bool isAreaFileName(QStringView name)
{
    return name.size() >= 9 && name.first(4).compare(u"area", Qt::CaseInsensitive) == 0 &&
           name.last(4).compare(u".ini", Qt::CaseInsensitive) == 0;
}

} // namespace

// What changed since the last time the changes were taken.
struct Catalogue::Live
{
    QTimer* timer = nullptr;
    QElapsedTimer burst;
    bool list = false;
    bool areas = false;
    bool picture = false;
    QSet<QString> conflicts; // image folders where a sync program left a conflict copy
    int settleTries = 0;
};

Catalogue::Catalogue(const QString& programFolder, FileOps& ops, QObject* parent)
    : QObject(parent), m_programFolder(programFolder), m_ops(ops), m_shown(new ShownImage(this)),
      m_index(std::make_unique<SearchIndex>(ops))
{}

Catalogue::~Catalogue()
{
    if (m_live)
        m_index->watcher().setChangeHandler({});
}

bool Catalogue::followDisk()
{
    if (m_live)
        return true;
    FolderWatcher& watcher = m_index->watcher();
    if (!watcher.notifyPromptly())
        return false;
    m_live = std::make_unique<Live>();
    m_live->timer = new QTimer(this);
    m_live->timer->setSingleShot(true);
    connect(m_live->timer, &QTimer::timeout, this, &Catalogue::takeDiskChanges);
    watcher.setChangeHandler(
        [this](const FolderWatcher::Change& c) { noteDiskChange(c.folder, c.name, c.isFolder, c.everything); });
    watcher.holder(m_programFolder);
    followListed();
    return true;
}

void Catalogue::followListed()
{
    if (!m_live)
        return;
    QSet<QString> folders;
    for (const TitleEntry& e : std::as_const(m_images))
        folders.insert(e.folder);
    if (!m_shown->folder().isEmpty())
        folders.insert(m_shown->folder());
    m_index->watcher().follow(folders);
}

void Catalogue::noteDiskChange(const QString& folder, const QString& name, bool isFolder, bool everything)
{
    Live& live = *m_live;
    const QString shown = m_shown->folder();
    if (everything) {
        live.list = live.areas = live.picture = true;
    } else if (folder == m_programFolder) {
        // Files of the program folder (KOVRA.INI, temporaries) are no images.
        if (isFolder || name.isEmpty())
            live.list = true;
    } else if (name.isEmpty()) {
        live.list = true;                // the folder itself went
    } else if (!name.startsWith(u'.')) { // a temporary of a writer: its rename follows
        if (!isFolder && conflictCopyOf(name))
            live.conflicts.insert(folder);
        const bool imageIni = name.compare(u"IMAGE.INI", Qt::CaseInsensitive) == 0;
        live.list = live.list || imageIni;
        if (folder == shown) {
            if (isAreaFileName(name))
                live.areas = true;
            else
                live.picture = true;
        }
    }
    if (!live.list && !live.areas && !live.picture && live.conflicts.isEmpty())
        return;
    if (!live.timer->isActive()) {
        live.burst.start();
        live.timer->start(QuietMs);
    } else if (live.burst.elapsed() + QuietMs < LongestWaitMs) {
        live.timer->start(QuietMs);
    }
}

void Catalogue::takeDiskChanges()
{
    if (!m_live)
        return;
    Live& live = *m_live;
    m_index->watcher().drain();
    if (m_searching || (m_hold && m_hold())) {
        live.timer->start(QuietMs);
        return;
    }
    live.timer->stop();
    const bool list = std::exchange(live.list, false);
    bool areas = std::exchange(live.areas, false);
    bool picture = std::exchange(live.picture, false);
    const QSet<QString> conflicts = std::exchange(live.conflicts, {});
    QList<ConflictMerge> merged;
    for (const QString& folder : conflicts)
        if (isListed(folder) && pathKind(folder) == PathKind::Folder)
            merged += kovra::mergeConflictCopies(folder, ConflictMode::Merge);
    // A merge into the shown image's area files is read like any other change from outside.
    if (!merged.isEmpty() && conflicts.contains(m_shown->folder()))
        areas = true;
    if (list) {
        m_index->watcher().holder(m_programFolder); // watched anew if the folder was replaced
        const QList<TitleEntry> before = m_images;
        readFolderList();
        m_images = m_folders.isEmpty() ? QList<TitleEntry>() : titleList(m_folders, nonTitled());
        const bool changed =
            m_images.size() != before.size() ||
            !std::equal(m_images.begin(), m_images.end(), before.begin(),
                        [](const auto& a, const auto& b) { return a.folder == b.folder && a.title == b.title; });
        if (changed) {
            const QString shown = m_shown->folder();
            const bool wasListed =
                std::any_of(before.begin(), before.end(), [&](const TitleEntry& e) { return e.folder == shown; });
            if (shown.isEmpty() && !m_images.isEmpty()) {
                m_shown->chooseImage(m_images.first().folder); // the first image came: shown as at start
            } else if (!shown.isEmpty() && wasListed && !isListed(shown)) {
                if (m_shown->isModified()) {
                    // Its edits stay on screen; only the user leaves them.
                    m_shown->setNotice(QStringLiteral("この画像は他の場所で削除されました．"));
                } else {
                    if (m_images.isEmpty())
                        m_shown->clear();
                    else
                        m_shown->chooseImage(m_images.first().folder);
                    m_shown->setNotice(QStringLiteral("表示していた画像は他の場所で削除されました．"));
                }
            }
            followListed();
            m_followedEmit = true;
            emit imageListChanged();
            m_followedEmit = false;
        }
    }
    if ((areas || picture) && !m_shown->folder().isEmpty() && pathKind(m_shown->folder()) == PathKind::Folder) {
        const ShownImage::DiskFollow f = m_shown->followDisk(areas, picture, live.settleTries >= SettleTries);
        if (f.pictureSettling) {
            ++live.settleTries;
            live.picture = true;
            live.timer->start(SettleMs);
        } else {
            live.settleTries = 0;
        }
    }
    if (!merged.isEmpty())
        emit conflictCopiesMerged(merged);
}

QString Catalogue::settingsFilePath() const
{
    return kovra::settingsFilePath(m_programFolder);
}

void Catalogue::readFolderList()
{
    m_folders = kovra::folderList(m_programFolder);
}

void Catalogue::rebuildImageList(const QString& defaultTitle, bool clearWhenEmpty)
{
    readFolderList();
    m_images = m_folders.isEmpty() ? QList<TitleEntry>() : titleList(m_folders, defaultTitle);
    if (m_images.isEmpty() && clearWhenEmpty)
        m_shown->clear(); // the last image is gone: show nothing rather than a deleted picture
    followListed();
    emit imageListChanged();
}

bool Catalogue::isListed(const QString& folder) const
{
    return std::any_of(m_images.begin(), m_images.end(), [&](const TitleEntry& e) { return e.folder == folder; });
}

QList<TitleEntry> Catalogue::registeredImages()
{
    readFolderList();
    return titleList(m_folders, nonTitled());
}

DropCheck Catalogue::checkDroppedFile(const QString& path) const
{
    namespace reg = registration;
    if (path.isEmpty() || QFileInfo(path).isDir())
        return DropCheck::Ignored;
    switch (reg::checkImageType(path)) {
    case reg::TypeCheck::RefusedByExtension:
        return DropCheck::RefusedByExtension;
    case reg::TypeCheck::RefusedByContent:
        return DropCheck::RefusedByContent;
    case reg::TypeCheck::Accepted:
        break;
    }
    // IMAGE.INI stores the copy's full path in code page 932: refuse now what could not be stored later.
    const QString name = QFileInfo(path).fileName();
    if (!codepage::canStore(name))
        return DropCheck::UnstorableName;
    if (!codepage::canStore(m_programFolder))
        return DropCheck::UnstorableProgramFolder;
    // The copy's path is stored as Filename: a name the reader would give back changed could never be found.
    if (hasOuterBlank(name))
        return DropCheck::BlankAroundName;
    if (!readsBackAsWritten(m_programFolder + QStringLiteral("/00000000000000/") + name))
        return DropCheck::UnstorableName;
    // What the main window could not show would be registered as a blank picture for good.
    if (!PictureSource::open(path))
        return DropCheck::Undecodable;
    return DropCheck::Accepted;
}

PastedPicture Catalogue::stagePastedPicture(const QImage& image, const QDateTime& now)
{
    using Status = PastedPicture::Status;
    if (image.isNull())
        return {Status::NoPicture, {}};
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image))
            return {Status::NoPicture, {}};
    }
    if (!m_pasted) {
        m_pasted = std::make_unique<QTemporaryDir>();
        if (!m_pasted->isValid()) {
            m_pasted.reset();
            return {Status::WriteFailed, {}};
        }
    }
    // The folder's name for the time, so the copy is named as its folder; two pastes in one second are told
    // apart by a number.
    const QString stem = m_pasted->filePath(imageFolderName(now));
    for (int n = 1; n <= 100; ++n) {
        const QString path = stem + (n == 1 ? QString() : u'-' + QString::number(n)) + QStringLiteral(".png");
        if (isPresent(path))
            continue;
        if (!FileOps::current().writeFile(path, png)) {
            FileOps::current().removeFile(path);
            return {Status::WriteFailed, {}};
        }
        return {Status::Ok, path};
    }
    return {Status::WriteFailed, {}};
}

QString Catalogue::titleOf(const QString& typed)
{
    return codepage::mapTyped(typed);
}

TitleCheck Catalogue::checkTitle(const QString& title, const QList<TitleEntry>& listed)
{
    if (title.isEmpty())
        return TitleCheck::Empty;
    if (std::any_of(listed.begin(), listed.end(), [&](const TitleEntry& e) { return e.title == title; }))
        return TitleCheck::Taken;
    if (!codepage::canStore(title))
        return TitleCheck::Unstorable;
    if (!readsBackAsWritten(title)) // it would be listed and compared as another title
        return TitleCheck::ChangedByReader;
    return TitleCheck::Ok;
}

CreateResult Catalogue::registerImage(const QString& picture, const QString& title, const CopyProgress& progress)
{
    const CreateResult result = createImageFolder(m_programFolder, picture, QFileInfo(picture).fileName(), title,
                                                  QDateTime::currentDateTime(), progress);
    if (result.error == CreateError::None)
        rebuildImageList();
    return result;
}

bool Catalogue::deleteImage(const QString& folder)
{
    const bool deleted = deleteImageFolder(m_programFolder, folder);
    // The lists show what is on the disk now, whatever of the folder is left.
    rebuildImageList();
    return deleted;
}

ItemCheck Catalogue::checkItem(const QString& typed, int rowCount)
{
    // Exactly as typed, empty and repeated text included, in the code page's forms.
    const QString text = codepage::mapTyped(typed);
    const codepage::StoreCheck check = codepage::checkStorable(text);
    if (check.problem == codepage::StoreCheck::Problem::LineBreak)
        return {ItemCheck::Status::LineBreak, {}, {}};
    if (check.problem == codepage::StoreCheck::Problem::Unencodable)
        return {ItemCheck::Status::Unencodable, check.character, {}};
    if (rowCount >= MaxItems)
        return {ItemCheck::Status::TooMany, {}, {}};
    return {ItemCheck::Status::Ok, {}, codepage::encode(text).value_or(QByteArray())};
}

QList<QByteArray> Catalogue::readItems(const QString& folder, int area) const
{
    if (folder.isEmpty() || area < 0 || area >= AreaCount)
        return {};
    return readItemBytes(folder, area);
}

WriteStatus Catalogue::saveItems(const QString& folder, int area, const QList<QByteArray>& rows)
{
    return saveItemBytes(folder, area, rows);
}

ItemMerge Catalogue::saveItems(const QString& folder, int area, const QList<QByteArray>& loaded,
                               const QList<QByteArray>& rows)
{
    return mergeItemBytes(folder, area, loaded, rows);
}

Catalogue::ArrangementSave Catalogue::saveArrangement()
{
    ArrangementSave result;
    result.status = m_shown->saveArrangement(&result.changedElsewhere);
    return result;
}

QList<SearchRow> Catalogue::search(const QString& text, const SearchProgress& progress)
{
    // The folder list stays as it is while the search walks it; changes are taken after.
    // A progress callback may end it early by an exception; the flag is put back either way.
    const bool outer = !std::exchange(m_searching, true);
    const auto restore = qScopeGuard([&] {
        if (outer)
            m_searching = false;
    });
    const QStringList folders = m_folders;
    return m_index->search(folders, Matcher(text), progress);
}

QList<SearchRow> Catalogue::scan(const QString& text) const
{
    return searchFolders(m_folders, Matcher(text));
}

QList<ConflictMerge> Catalogue::mergeConflictCopies(ConflictMode mode)
{
    readFolderList();
    QList<ConflictMerge> reports;
    for (const QString& folder : std::as_const(m_folders))
        if (!isManualFolder(folder))
            reports += kovra::mergeConflictCopies(folder, mode);
    return reports;
}

} // namespace kovra
