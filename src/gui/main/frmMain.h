#pragma once

#include "Catalogue.h"
#include "MainWindowView.h"
#include "ShownImage.h"
#include "WindowPosition.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace kovra {
class PictureCanvas;
}

// The main window: the image list, the picture with its marks, and the hub that opens every other window.
// It draws the catalogue's image list and shown image and calls their operations; the other windows are
// given the catalogue and this window's narrow view (MainWindowView), never its widgets.
class frmMain : public QWidget, public kovra::PositionedWindow, public kovra::ui::MainWindowView
{
    Q_OBJECT

public:
    enum class Window { ImageRegistration, AreaArrangement, Search, ItemRegistration, About };
    using WindowFactory = std::function<QWidget*()>;

    explicit frmMain(kovra::Catalogue& catalogue, QWidget* parent = nullptr);
    // With a catalogue of its own over programFolder (tests, tools).
    explicit frmMain(const QString& programFolder, QWidget* parent = nullptr);
    ~frmMain() override;

    kovra::Catalogue& catalogue() const;
    kovra::ShownImage& shownImage() const;
    kovra::PictureCanvas& canvas() const;
    bool hasPicture() const; // a photo is on screen

    // --- The image list
    int selectedImagePosition() const; // position in the image list, -1 for none
    // Reads the folder list again, rebuilds the image list (default title "Non Titled") and selects its
    // first entry, which loads that image.
    void rebuildImageList();
    // The full image selection for folder, also when it is already selected. Unknown folder: nothing.
    // Asks nothing: the user's own choices in the list ask first (mayLeaveShownImage).
    void selectImage(const QString& folder);

    // --- Other windows
    void setWindowFactory(Window which, WindowFactory factory);
    // Opens the window modeless, or brings the open one to the front. Returns it (nullptr without factory).
    QWidget* openWindow(Window which);
    QWidget* openedWindow(Window which) const;
    // Asked on every move over the picture: is the arrangement window's placement mode on?
    void setPlacementModeQuery(std::function<bool()> query);
    // How 保存 of the unsaved-layout question saves: the arrangement window's own save, which tells a
    // failed write in parent (true when saved). Without one the catalogue saves and a failure says nothing.
    void setArrangementSaver(std::function<bool(QWidget* parent)> save);

    // kovra::ui::MainWindowView
    QWidget* ownerWindow() override { return this; }
    double twipsPerPixel() const override;
    QRectF newAreaRect() const override;
    // The one question about unsaved layout edits, for every way of leaving the shown image.
    bool mayLeaveShownImage(QWidget* asking) override;

    // kovra::PositionedWindow: the normal position, also beneath a maximised window
    double topTwips() const override;
    double leftTwips() const override;
    void setTopTwips(double twips) override;
    void setLeftTwips(double twips) override;

    // On the first show the stored placement is fitted to the screen it lands on, maximised if it was.
    void setVisible(bool visible) override;

signals:
    void imageSelected(const QString& folder);
    // The user confirmed the end: the position is saved and the other windows are closed.
    void programEnding();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
