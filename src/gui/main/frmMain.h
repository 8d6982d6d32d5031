#pragma once

#include "AreaFiles.h"
#include "ImageFolders.h"
#include "ShownImage.h"
#include "WindowPosition.h"

#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace kovra {
class PictureCanvas;
}

// The main window: the image list, the picture with its marks, and the hub that opens every other window.
// The shown image is a model (shownImage()) that the other windows change through its operations; the
// window draws it through its canvas. Other windows never use the widgets inside.
class frmMain : public QWidget, public kovra::PositionedWindow
{
    Q_OBJECT

public:
    enum class Window { ImageRegistration, AreaArrangement, Search, ItemRegistration, About };
    using WindowFactory = std::function<QWidget*(frmMain*)>;

    explicit frmMain(const QString& programFolder, QWidget* parent = nullptr);
    ~frmMain() override;

    // --- The program's shared state
    QString programFolder() const;
    QString settingsFilePath() const;
    QString currentImageFolder() const;
    int selectedAreaIndex() const;
    void setSelectedAreaIndex(int index);
    double twipsPerPixel() const;
    kovra::AreaTable areaTable() const; // the Shown flags: areas not free
    kovra::ShownImage& shownImage();
    const kovra::ShownImage& shownImage() const;
    kovra::PictureCanvas& canvas() const;
    // Where a new area opens: its default size on screen at the top-left corner of the part of the photo
    // in view, in picture-file pixels.
    QRectF newAreaRect() const;

    // --- Folder list and image list
    QStringList folderList() const;                // as last refreshed
    void refreshFolderList();                      // from the disk
    QList<kovra::TitleEntry> imageEntries() const; // the image list's entries with their folders
    int selectedImagePosition() const;             // position in the image list, -1 for none
    // Refreshes the folder list, rebuilds the image list (default title "Non Titled") and selects its
    // first entry, which loads that image.
    void rebuildImageList();
    // The full image selection for folder, also when it is already selected. Unknown folder: nothing.
    void selectImage(const QString& folder);
    // Places and shows the area markers of folder from its area files (stops at the first bad value).
    void loadImageArea(const QString& folder);

    // --- Picture
    bool loadPicture(const QString& path); // false (the box then shows no photo) when it cannot be shown
    void clearPicture();
    void showPreview(const QString& path); // clears, then loads; an unreadable file leaves it empty
    bool hasPicture() const;               // a photo is on screen

    // --- Area markers and the selection handle
    bool isMarkerShown(int area) const;
    void setMarkerShown(int area, bool shown);
    QRectF markerRect(int area) const;
    void setMarkerRect(int area, const QRectF& rect);
    void hideAreaMarkers();
    void showHandleAt(int area); // top-left corner of the marker
    void hideHandle();
    bool isHandleShown() const;

    // --- Hit marks
    void hideHitFrames();
    void hideHitIcons();
    // Frame over the area's rectangle and icon at its top-left corner, both shown; a value that could
    // not be read (nullopt) leaves that property as it was.
    void showHitMark(int area, const std::array<std::optional<qint16>, 4>& geometry);
    void startAnimation();
    void stopAnimation();
    bool isAnimating() const;

    // --- Other windows
    void setWindowFactory(Window which, WindowFactory factory);
    // Opens the window modeless, or brings the open one to the front. Returns it (nullptr without factory).
    QWidget* openWindow(Window which);
    QWidget* openedWindow(Window which) const;
    // Asked on every move over the picture: is the arrangement window's placement mode on?
    void setPlacementModeQuery(std::function<bool()> query);

    // kovra::PositionedWindow
    double topTwips() const override;
    double leftTwips() const override;
    void setTopTwips(double twips) override;
    void setLeftTwips(double twips) override;

signals:
    void imageSelected(const QString& folder);
    // The user confirmed the end: the position is saved and the other windows are closed.
    void programEnding();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
