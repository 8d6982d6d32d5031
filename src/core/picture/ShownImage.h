#pragma once

#include "AreaFiles.h"
#include "PictureSource.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QTimer>
#include <QTransform>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace kovra {

// The image the main window shows, without any widget: its folder and picture, the 30 areas with the
// selection and its handle, and the hit marks of a search result with their animation. Every
// operation is named for what the user does; each change is announced by changed().
// Area rectangles are in pixels of the picture file's own grid, as the area files store them.
// The layout edits (new, move, resize, delete) are kept as undo steps until the arrangement is saved or
// the image is read again; the layout is modified while it differs from what was last read or saved.
class ShownImage : public QObject
{
    Q_OBJECT

public:
    enum class AreaState {
        Free,   // not in use: hidden, taken by the next new area, saved as not visible
        InUse,  // shown, saved with its rectangle
        Unread, // the reader did not reach it or could not read it: hidden, not free, never saved
    };
    struct Area
    {
        AreaState state = AreaState::Free;
        QRectF rect; // single-precision values
    };
    // Arriving: IMAGE.INI names a picture that is not in the folder yet (a sync program brings it).
    enum class PictureState { None, Shown, Unreadable, Arriving };
    // What following a change on disk did to the shown image.
    struct DiskFollow
    {
        bool areasReread = false;
        bool areasKept = false; // they changed on disk, and the unsaved edits here stay shown
        bool pictureReread = false;
        bool pictureSettling = false; // the arriving file is there but cannot be read yet: try again
    };
    struct Hit
    {
        bool frameShown = false;
        bool iconShown = false;
        QRectF frame; // picture pixels
        QPointF icon; // the icon's top-left corner
    };

    explicit ShownImage(QObject* parent = nullptr);

    // --- What is shown
    QString folder() const { return m_folder; }
    std::shared_ptr<const PictureSource> picture() const { return m_picture; }
    PictureState pictureState() const { return m_pictureState; }
    QString pictureFile() const { return m_pictureFile; } // the file of the picture shown or refused
    const Area& area(int i) const;
    bool isShown(int i) const { return valid(i) && area(i).state == AreaState::InUse; }
    QRectF areaRect(int i) const { return valid(i) ? area(i).rect : QRectF(); }
    int freeCount() const;
    int firstFree() const;   // -1 when none is free
    AreaTable table() const; // Shown flags as the other windows know them
    int selectedAreaIndex() const { return m_selected; }
    // The handle shows at the selected area's top-left corner, and only when that area is shown.
    bool isHandleShown() const { return m_handle && isShown(m_selected); }
    const Hit& hit(int i) const;
    bool isAnimating() const { return m_timer->isActive(); }
    static bool valid(int i) { return i >= 0 && i < AreaCount; }

    // --- Choosing an image
    // The full image selection: picture from the folder's IMAGE.INI, the areas from its area files,
    // the handle and the hit marks gone, the animation stopped. An empty folder shows nothing.
    void chooseImage(const QString& folder);
    // No image at all (the last one was deleted).
    void clear();
    // Reads the areas from the folder's area files (stops at the first bad value; the areas from there on
    // are Unread).
    void readAreas(const QString& folder);
    // Picture only: loads it, false when it cannot be shown (the box is then empty).
    bool showPicture(const QString& path);
    void clearPicture();
    // A dropped file shown for registration: empty when it cannot be read.
    void showPreview(const QString& path);

    // --- Changes made on disk by others while the image is shown
    // Reads again what changed: the picture (IMAGE.INI or the picture file), the areas (an area file) unless
    // edits here are unsaved. Unchanged files change nothing, and neither does the program's own save.
    // giveUp: an arriving picture that still cannot be read is refused now.
    DiskFollow followDisk(bool areas, bool picture, bool giveUp = false);
    // A short text over the picture about what happened elsewhere; empty for none. Gone at the next choice.
    QString notice() const { return m_notice; }
    void setNotice(const QString& text);

    // --- Laying out areas
    // Opens the lowest free area with rect (picture pixels), selects it and shows the handle; -1 when all
    // are taken (nothing changes then).
    int openNewArea(const QRectF& rect);
    // Deletes (frees) the selected area and hides the handle; the selection stays. False when the
    // selected area is not shown.
    bool deleteSelectedArea();
    // Writes the arrangement into the folder's area files, merged with what another writer saved since
    // they were read: an area changed here is written as it shows here, an area untouched here whose file
    // changed meanwhile keeps and now shows the file's state; Unread areas are left as they are on disk.
    // Once written, that layout is the saved one and the undo steps are gone. changedElsewhere gets the
    // areas changed both here and on disk (written as here).
    WriteStatus saveArrangement(QList<int>* changedElsewhere = nullptr);
    void moveArea(int i, QPointF topLeft); // keeps the size
    void setAreaRect(int i, const QRectF& rect);
    void hideAllAreas(); // every shown area becomes free until the image is read again

    // --- Edit gestures
    // The edits between the outermost beginEdit and its endEdit are one undo step (a resize sets the
    // rectangle on every move of the mouse). An edit outside any gesture is a step of its own. Choosing
    // or reading an image and a save end an open gesture; an endEdit without its beginEdit does nothing.
    void beginEdit();
    void endEdit();

    // --- Unsaved edits
    // The areas in use or their rectangles differ from what was last read or saved; undoing back to
    // that layout makes it unmodified again.
    bool isModified() const { return !sameLayout(m_areas, m_saved); }
    bool canUndo() const { return m_editDepth == 0 && !m_undo.empty(); }
    bool canRedo() const { return m_editDepth == 0 && !m_redo.empty(); }
    // One step back or forward: the areas exactly as they were (states and stored numbers), with the
    // selection and handle of that moment. False when there is none, or while a gesture is open.
    bool undo();
    bool redo();
    // The unsaved edits thrown away: the areas read again from the area files.
    void discardEdits();

    // --- Selection
    void selectArea(int i); // any index; -1 (or out of range) selects none
    void deselect();        // no selection, no handle
    void showHandle();
    void hideHandle();

    // --- The keyboard on the picture
    // Page Down (step > 0) and Page Up (step < 0): selects the next shown area in index order, wrapping,
    // from the selected index (none selected: the first, or the last) and shows its handle; -1 when none
    // is shown.
    int selectNextShownArea(int step);
    // The arrow keys: move the selected area (the one with its handle) by delta upright pixels, as far as
    // it stays on the picture; with Ctrl its bottom-right corner moves instead, keeping the minimum size.
    // False when no area shows its handle.
    bool nudgeSelectedArea(QPointF deltaUpright);
    bool resizeSelectedArea(QPointF deltaUpright);

    // --- Hit marks of a search result
    // Show item of a result row: chooses the image of folder and marks each hit area with its frame and
    // icon at the rectangle stored for it (Visible not read), then starts the animation.
    void showHitsOf(const QString& folder, const QList<int>& hitAreas);
    // One hit mark; a value that could not be read (nullopt) leaves that property as it was.
    void showHitMark(int area, const std::array<std::optional<qint16>, 4>& geometry);
    void hideHitFrames();
    void hideHitIcons();
    void startAnimation();
    void stopAnimation();
    QRectF hitBounds(bool firstOnly) const;                   // picture pixels of the shown hits (first one only)
    const QList<int>& hitOrder() const { return m_hitOrder; } // the areas with hit frames, as shown

signals:
    void changed();
    void modifiedChanged(bool modified);     // isModified() turned
    void imageChosen(const QString& folder); // after every full image selection
    void hitsShown();                        // after Show item placed its marks
    void animationStepped(int frame);

private:
    using Areas = std::array<Area, AreaCount>;
    struct Layout
    {
        Areas areas;
        int selected = -1;
        bool handle = false;
    };
    struct Step
    {
        Layout before, after;
    };
    class EditScope;

    void tick();
    // The picture's upright grid: its transform from file pixels and its bounds (empty without a picture).
    QTransform fileToUpright() const;
    QRectF uprightBounds() const;
    Layout layout() const { return {m_areas, m_selected, m_handle}; }
    void restore(const Layout& l);
    static bool sameArea(const Area& a, const Area& b);
    static bool sameLayout(const Areas& a, const Areas& b);
    // One area from its file's reading, as the image selection places it.
    static void takeReading(Area& a, const LoadedArea& l);
    // The areas as they are now count as the saved layout; no steps, no open gesture.
    void takeSavedLayout();
    void noteModified();
    void loadPictureOf(const QString& folder);
    // The areas as the loaded files give them over base (a failed value keeps base's).
    static Areas areasFrom(const std::array<LoadedArea, AreaCount>& loaded, const Areas& base);

    QString m_folder;
    QString m_notice;
    bool m_toldKept = false; // the notice of areas changed elsewhere was given for this image
    std::shared_ptr<const PictureSource> m_picture;
    PictureState m_pictureState = PictureState::None;
    QString m_pictureFile;
    std::array<Area, AreaCount> m_areas{};
    int m_selected = -1;
    bool m_handle = false;
    std::array<Hit, AreaCount> m_hits{};
    QList<int> m_hitOrder; // hit frames in the order they were shown
    QTimer* m_timer;
    qint16 m_counter = 0;

    Areas m_saved{};                            // as last read or saved
    std::array<LoadedArea, AreaCount> m_read{}; // the area files as last read or saved, for the merge
    bool m_modified = false;                    // as last announced
    std::vector<Step> m_undo, m_redo;
    int m_editDepth = 0;
    Layout m_gestureStart;
};

} // namespace kovra
