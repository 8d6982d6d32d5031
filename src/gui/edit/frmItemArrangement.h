#pragma once

#include "MainWindowView.h"

#include <QImage>
#include <QWidget>

namespace kovra {
class Catalogue;
}
class PictureBuffer;
class QCheckBox;
class QLabel;
class QToolButton;

// The area arrangement window: opens, deletes and saves the item areas of the image shown in the
// main window, whose markers are the working copy; counts the free areas on a seven-segment counter
// (redrawn whenever the shown image's free count changes, whoever changed it) and owns the
// placement-mode check box that the main window asks on every move over its picture.
class frmItemArrangement : public QWidget
{
    Q_OBJECT

public:
    frmItemArrangement(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& main);

    // Draws two digit characters on the counter; an empty text draws "00".
    void DrawX(const QString& Buf);
    // The counter's client pixels as drawn.
    QImage counterImage() const;
    // Check1: while ticked, a left-button drag on the main window's picture resizes as Shift-drag does.
    bool placementMode() const;
    // Command3: deletes the selected area after the confirmation, or says why it cannot. The Delete key on
    // the main window's picture comes here too.
    void deleteSelectedArea();
    // The save of "登録" without the closing: the shown image's areas into its area files, merged with
    // another writer's; areas changed on both sides and a failed write are told in parent. True when
    // written.
    static bool saveShownArrangement(kovra::Catalogue& catalogue, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Closing without saving (Command2, Esc, the close box) asks about unsaved layout edits.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void countFreeAreas();
    void command5Click();
    void command1Click();

    kovra::Catalogue& m_catalogue;
    kovra::ui::MainWindowView& m_main;
    QToolButton* m_command5 = nullptr;
    QCheckBox* m_check1 = nullptr;
    PictureBuffer* m_counter = nullptr; // Picture1(0)
    PictureBuffer* m_strip = nullptr;   // Picture1(2), out of sight
    QToolButton* m_command3 = nullptr;
    QToolButton* m_command1 = nullptr;
    QToolButton* m_command2 = nullptr;
    bool m_placed = false;
    int m_drawnCount = -1; // the free count the counter shows
};
