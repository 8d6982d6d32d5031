#include "ShownImage.h"

#include "ImageFolders.h"
#include "MarkGeometry.h"

#include "NativePath.h"

#include <QFileInfo>

namespace kovra {
namespace {

// The reading of a folder without area files.
LoadedArea nothingInUse()
{
    LoadedArea l;
    l.state = LoadedArea::State::NotInUse;
    return l;
}

// The single-precision value the area files keep.
double single(double v)
{
    const float f = static_cast<float>(v);
    return double(f);
}

QRectF singleRect(const QRectF& r)
{
    return QRectF(single(r.x()), single(r.y()), single(r.width()), single(r.height()));
}

// The stored numbers themselves: QRectF's own comparison allows for rounding.
bool sameRect(const QRectF& a, const QRectF& b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

// Undo steps kept at most; the oldest go first.
constexpr size_t MaxUndoSteps = 500;

} // namespace

// One primitive edit: a step of its own, or a part of the gesture around it.
class ShownImage::EditScope
{
public:
    explicit EditScope(ShownImage& image) : m_image(image) { m_image.beginEdit(); }
    ~EditScope() { m_image.endEdit(); }
    EditScope(const EditScope&) = delete;
    EditScope& operator=(const EditScope&) = delete;

private:
    ShownImage& m_image;
};

ShownImage::ShownImage(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, &ShownImage::tick);
    m_read.fill(nothingInUse());
}

const ShownImage::Area& ShownImage::area(int i) const
{
    static const Area none;
    return valid(i) ? m_areas[size_t(i)] : none;
}

const ShownImage::Hit& ShownImage::hit(int i) const
{
    static const Hit none;
    return valid(i) ? m_hits[size_t(i)] : none;
}

int ShownImage::freeCount() const
{
    return int(std::count_if(m_areas.begin(), m_areas.end(), [](const Area& a) { return a.state == AreaState::Free; }));
}

int ShownImage::firstFree() const
{
    for (int i = 0; i < AreaCount; ++i)
        if (m_areas[size_t(i)].state == AreaState::Free)
            return i;
    return -1;
}

AreaTable ShownImage::table() const
{
    AreaTable t;
    for (int i = 0; i < AreaCount; ++i)
        t.shown[size_t(i)] = m_areas[size_t(i)].state != AreaState::Free;
    return t;
}

void ShownImage::chooseImage(const QString& folder)
{
    m_handle = false;
    for (Area& a : m_areas)
        if (a.state == AreaState::InUse)
            a.state = AreaState::Free;
    m_notice.clear();
    m_toldKept = false;
    if (!folder.isEmpty()) {
        loadPictureOf(folder);
        m_folder = folder;
    }
    hideHitFrames();
    readAreas(m_folder);
    m_timer->stop();
    hideHitIcons();
    emit changed();
    emit imageChosen(m_folder);
}

void ShownImage::loadPictureOf(const QString& folder)
{
    const PictureResolution r = resolvePicture(folder);
    if (r.stored.isEmpty()) {
        clearPicture();
    } else if (!r.found && pathKind(r.path) == PathKind::Missing) {
        // Not there yet (a sync program writes IMAGE.INI before the picture): the file of that name inside
        // the folder is awaited, wherever the stored path pointed.
        const qsizetype cut = std::max(r.stored.lastIndexOf(u'\\'), r.stored.lastIndexOf(u'/'));
        m_picture.reset();
        m_pictureFile = folder + u'/' + r.stored.mid(cut + 1);
        m_pictureState = PictureState::Arriving;
        emit changed();
    } else {
        showPicture(r.path);
    }
}

ShownImage::DiskFollow ShownImage::followDisk(bool areas, bool picture, bool giveUp)
{
    DiskFollow result;
    if (m_folder.isEmpty())
        return result;
    if (picture) {
        const std::shared_ptr<const PictureSource> before = m_picture;
        const PictureState stateBefore = m_pictureState;
        const QString fileBefore = m_pictureFile;
        loadPictureOf(m_folder);
        if (stateBefore == PictureState::Arriving && m_pictureState == PictureState::Unreadable && !giveUp) {
            // Still being written: tried again once it settles.
            m_pictureState = PictureState::Arriving;
            result.pictureSettling = true;
        }
        result.pictureReread = m_picture != before || m_pictureState != stateBefore || m_pictureFile != fileBefore;
    }
    if (areas) {
        const Areas onDisk = areasFrom(loadImageAreas(m_folder), m_saved);
        if (!sameLayout(onDisk, m_saved)) {
            if (!isModified()) {
                readAreas(m_folder);
                result.areasReread = true;
            } else {
                result.areasKept = true;
                if (!std::exchange(m_toldKept, true))
                    setNotice(QStringLiteral(
                        "このｲﾒｰｼﾞのｴﾘｱは他の場所で変更されました．保存すると他の変更と合わせて保存されます．"));
            }
        }
    }
    if (result.pictureReread)
        emit changed();
    return result;
}

void ShownImage::setNotice(const QString& text)
{
    if (m_notice == text)
        return;
    m_notice = text;
    emit changed();
}

void ShownImage::clear()
{
    m_notice.clear();
    m_toldKept = false;
    clearPicture();
    m_handle = false;
    m_areas = {};
    m_read.fill(nothingInUse());
    takeSavedLayout();
    m_hits = {};
    m_hitOrder.clear();
    m_timer->stop();
    m_folder.clear();
    emit changed();
}

void ShownImage::readAreas(const QString& folder)
{
    if (folder.isEmpty()) {
        // No image chosen: nothing is in use (and no file outside the program folder is read).
        for (Area& a : m_areas)
            a.state = AreaState::Free;
        m_read.fill(nothingInUse());
        takeSavedLayout();
        emit changed();
        return;
    }
    m_read = loadImageAreas(folder);
    for (int i = 0; i < AreaCount; ++i)
        takeReading(m_areas[size_t(i)], m_read[size_t(i)]);
    takeSavedLayout();
    emit changed();
}

ShownImage::Areas ShownImage::areasFrom(const std::array<LoadedArea, AreaCount>& loaded, const Areas& base)
{
    Areas areas = base;
    for (int i = 0; i < AreaCount; ++i)
        takeReading(areas[size_t(i)], loaded[size_t(i)]);
    return areas;
}

void ShownImage::takeReading(Area& a, const LoadedArea& l)
{
    if (l.state == LoadedArea::State::NotInUse) {
        a.state = AreaState::Free;
        return;
    }
    // Left, Top, Width, Height in this order; a failed area keeps what was set before the failure.
    QRectF& r = a.rect;
    if (l.geometry[0])
        r.moveLeft(*l.geometry[0]);
    if (l.geometry[1])
        r.moveTop(*l.geometry[1]);
    if (l.geometry[2])
        r.setWidth(*l.geometry[2]);
    if (l.geometry[3])
        r.setHeight(*l.geometry[3]);
    // An area the reader could not read or did not reach is neither shown nor free, and a save leaves
    // its file alone: the user never saw it, so nothing on screen may overwrite it.
    a.state = l.state == LoadedArea::State::InUse ? AreaState::InUse : AreaState::Unread;
}

bool ShownImage::showPicture(const QString& path)
{
    m_pictureFile = path;
    m_picture = openPictureCached(path);
    // A picture that cannot be shown leaves the box empty, never the previous photo under a new title.
    m_pictureState = m_picture ? PictureState::Shown : PictureState::Unreadable;
    emit changed();
    return m_picture != nullptr;
}

void ShownImage::clearPicture()
{
    m_picture.reset();
    m_pictureFile.clear();
    m_pictureState = PictureState::None;
    emit changed();
}

void ShownImage::showPreview(const QString& path)
{
    clearPicture();
    if (showPicture(path))
        return;
    clearPicture(); // the registration window says what is wrong with the file
}

int ShownImage::openNewArea(const QRectF& rect)
{
    const EditScope edit(*this);
    const int n = firstFree();
    if (n < 0) {
        emit changed();
        return -1;
    }
    m_areas[size_t(n)] = {AreaState::InUse, singleRect(rect)};
    m_selected = n;
    m_handle = true;
    emit changed();
    noteModified();
    return n;
}

bool ShownImage::deleteSelectedArea()
{
    if (!isShown(m_selected))
        return false;
    const EditScope edit(*this);
    m_areas[size_t(m_selected)].state = AreaState::Free;
    m_handle = false;
    emit changed();
    noteModified();
    return true;
}

WriteStatus ShownImage::saveArrangement(QList<int>* changedElsewhere)
{
    std::array<ArrangementArea, AreaCount> areas;
    for (int i = 0; i < AreaCount; ++i) {
        const Area& a = m_areas[size_t(i)];
        ArrangementArea& out = areas[size_t(i)];
        out.marker.visible = a.state == AreaState::InUse;
        out.marker.rect = a.rect;
        out.leaveAlone = a.state == AreaState::Unread;
        out.changedHere = !sameArea(a, m_saved[size_t(i)]);
        out.read = m_read[size_t(i)];
    }
    const ArrangementMerge merged = mergeArrangement(m_folder, areas);
    if (merged.status != WriteStatus::Ok)
        return merged.status;
    // What another writer saved in an area left alone here is what the disk holds, and so what shows.
    for (int i = 0; i < AreaCount; ++i)
        if (!areas[size_t(i)].leaveAlone && !merged.written[size_t(i)])
            takeReading(m_areas[size_t(i)], merged.disk[size_t(i)]);
    m_read = merged.disk;
    takeSavedLayout();
    // What the notice of changes elsewhere announced has happened; a later change tells again.
    if (std::exchange(m_toldKept, false))
        setNotice(QString());
    emit changed();
    if (changedElsewhere)
        *changedElsewhere = merged.changedElsewhere;
    return WriteStatus::Ok;
}

void ShownImage::moveArea(int i, QPointF topLeft)
{
    if (!valid(i))
        return;
    const EditScope edit(*this);
    QRectF& r = m_areas[size_t(i)].rect;
    r = singleRect(QRectF(topLeft, r.size()));
    emit changed();
    noteModified();
}

void ShownImage::setAreaRect(int i, const QRectF& rect)
{
    if (!valid(i))
        return;
    const EditScope edit(*this);
    m_areas[size_t(i)].rect = singleRect(rect);
    emit changed();
    noteModified();
}

void ShownImage::hideAllAreas()
{
    const EditScope edit(*this);
    for (Area& a : m_areas)
        if (a.state == AreaState::InUse)
            a.state = AreaState::Free;
    emit changed();
    noteModified();
}

// --- Edit gestures and their undo steps

void ShownImage::beginEdit()
{
    if (m_editDepth++ == 0)
        m_gestureStart = layout();
}

void ShownImage::endEdit()
{
    if (m_editDepth == 0 || --m_editDepth > 0)
        return;
    // A gesture that changed nothing one can see (a click, a drop on the same place) is no step.
    if (sameLayout(m_gestureStart.areas, m_areas))
        return;
    m_undo.push_back({m_gestureStart, layout()});
    if (m_undo.size() > MaxUndoSteps)
        m_undo.erase(m_undo.begin());
    m_redo.clear();
}

bool ShownImage::undo()
{
    if (!canUndo())
        return false;
    Step step = std::move(m_undo.back());
    m_undo.pop_back();
    restore(step.before);
    m_redo.push_back(std::move(step));
    return true;
}

bool ShownImage::redo()
{
    if (!canRedo())
        return false;
    Step step = std::move(m_redo.back());
    m_redo.pop_back();
    restore(step.after);
    m_undo.push_back(std::move(step));
    return true;
}

void ShownImage::discardEdits()
{
    readAreas(m_folder);
}

void ShownImage::restore(const Layout& l)
{
    m_areas = l.areas;
    m_selected = l.selected;
    m_handle = l.handle;
    emit changed();
    noteModified();
}

// What the user sees and a save keeps: the state of every area and the rectangle of each one in use. A
// free area's rectangle is hidden and comes back only through a new area, which sets its own.
bool ShownImage::sameArea(const Area& a, const Area& b)
{
    return a.state == b.state && (a.state != AreaState::InUse || sameRect(a.rect, b.rect));
}

bool ShownImage::sameLayout(const Areas& a, const Areas& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (!sameArea(a[i], b[i]))
            return false;
    return true;
}

void ShownImage::takeSavedLayout()
{
    m_saved = m_areas;
    m_undo.clear();
    m_redo.clear();
    m_editDepth = 0;
    noteModified();
}

void ShownImage::noteModified()
{
    const bool modified = isModified();
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

void ShownImage::selectArea(int i)
{
    m_selected = valid(i) ? i : -1;
    emit changed();
}

void ShownImage::deselect()
{
    m_selected = -1;
    m_handle = false;
    emit changed();
}

void ShownImage::showHandle()
{
    m_handle = true;
    emit changed();
}

void ShownImage::hideHandle()
{
    m_handle = false;
    emit changed();
}

int ShownImage::selectNextShownArea(int step)
{
    const int direction = step < 0 ? -1 : 1;
    // From the selection, also a hidden one (a deleted area): its neighbours come next.
    const int from = valid(m_selected) ? m_selected : (direction > 0 ? -1 : AreaCount);
    for (int k = 1; k <= AreaCount; ++k) {
        const int i = ((from + direction * k) % AreaCount + AreaCount) % AreaCount;
        if (isShown(i)) {
            selectArea(i);
            showHandle();
            return i;
        }
    }
    return -1;
}

bool ShownImage::nudgeSelectedArea(QPointF deltaUpright)
{
    if (!isHandleShown())
        return false;
    const QTransform toUpright = fileToUpright();
    const QRectF rect = areaRect(m_selected);
    const QRectF upright = toUpright.mapRect(rect.normalized());
    const QPointF allowed = marks::movedWithin(upright, deltaUpright, uprightBounds()).topLeft() - upright.topLeft();
    // The same move in the file's grid: the orientation turns the direction, never the distance.
    const QTransform toFile = toUpright.inverted();
    const QPointF fileDelta = toFile.map(allowed) - toFile.map(QPointF());
    beginEdit();
    moveArea(m_selected, rect.topLeft() + fileDelta);
    endEdit();
    return true;
}

bool ShownImage::resizeSelectedArea(QPointF deltaUpright)
{
    if (!isHandleShown())
        return false;
    const QTransform toUpright = fileToUpright();
    const QRectF upright = toUpright.mapRect(areaRect(m_selected).normalized());
    const QRectF resized = marks::resizedEdges(upright, Qt::RightEdge | Qt::BottomEdge, deltaUpright, uprightBounds());
    beginEdit();
    setAreaRect(m_selected, toUpright.inverted().mapRect(resized));
    endEdit();
    return true;
}

QTransform ShownImage::fileToUpright() const
{
    return m_pictureState == PictureState::Shown && m_picture ? m_picture->fileToUpright() : QTransform();
}

QRectF ShownImage::uprightBounds() const
{
    return m_pictureState == PictureState::Shown && m_picture ? QRectF(QPointF(), QSizeF(m_picture->uprightSize()))
                                                              : QRectF();
}

void ShownImage::showHitsOf(const QString& folder, const QList<int>& hitAreas)
{
    // The image selection reads the picture once; its hit marks are then laid over it.
    chooseImage(folder);
    for (int a : hitAreas)
        if (valid(a))
            showHitMark(a, readAreaGeometry(m_folder, a));
    startAnimation();
    emit hitsShown();
}

void ShownImage::showHitMark(int area, const std::array<std::optional<qint16>, 4>& g)
{
    if (!valid(area))
        return;
    Hit& h = m_hits[size_t(area)];
    if (g[0]) {
        h.frame.moveLeft(*g[0]);
        h.icon.setX(*g[0]);
    }
    if (g[1]) {
        h.frame.moveTop(*g[1]);
        h.icon.setY(*g[1]);
    }
    if (g[2])
        h.frame.setWidth(*g[2]);
    if (g[3])
        h.frame.setHeight(*g[3]);
    if (!h.frameShown)
        m_hitOrder.append(area);
    h.frameShown = true;
    h.iconShown = true;
    emit changed();
}

void ShownImage::hideHitFrames()
{
    for (Hit& h : m_hits)
        h.frameShown = false;
    m_hitOrder.clear();
    emit changed();
}

void ShownImage::hideHitIcons()
{
    for (Hit& h : m_hits)
        h.iconShown = false;
    emit changed();
}

void ShownImage::startAnimation()
{
    m_timer->start();
}

void ShownImage::stopAnimation()
{
    m_timer->stop();
}

QRectF ShownImage::hitBounds(bool firstOnly) const
{
    QRectF r;
    for (int i : m_hitOrder) {
        const QRectF f = m_hits[size_t(i)].frame.normalized();
        r = r.isNull() ? f : r.united(f);
        if (firstOnly)
            break;
    }
    return r;
}

void ShownImage::tick()
{
    ++m_counter;
    emit animationStepped(m_counter & 3);
    if (m_counter > 30000)
        m_counter = 0;
}

} // namespace kovra
