#pragma once

#include "ItemRows.h"
#include "MainWindowView.h"
#include "ProfileFile.h"

#include <QWidget>

namespace kovra {
class Catalogue;
}
class QLabel;
class QLineEdit;
class QListView;
class QToolButton;

// The item registration window: edits the item list of one area, fixed when the window opens (the
// main window's shown image and selected area), and saves it into that area's file.
class frmItemRegist : public QWidget
{
    Q_OBJECT

public:
    frmItemRegist(kovra::Catalogue& catalogue, const kovra::ui::MainWindowView& main, QWidget* parent = nullptr);

    QString targetFolder() const { return m_folder; }
    int targetArea() const { return m_area; }
    // Every row as text, whole: bytes the code page cannot decode are shown as \xNN.
    QStringList rows() const;
    int pickedRow() const { return m_picked; }

    // Writes the first cnt rows of the list as the items of area sn in fldpath, in one replacement, merged
    // with the rows another writer stored since the window read them (their additions and removals stay,
    // the rows added here come at the end); the list then shows the stored rows.
    // A row read from the file is written back byte for byte; a typed row as it was converted when added.
    kovra::WriteStatus SaveItem(const QString& fldpath, int sn, int cnt);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls(double twipsPerPixel);
    void command5Click();
    void command1Click();
    void command3Click();

    kovra::Catalogue& m_catalogue;
    QString m_folder; // empty when no image was chosen
    int m_area = -1;
    int m_picked = -1;                 // the row last picked; not moved when rows are removed
    kovra::ItemRows* m_rows = nullptr; // List1's rows
    QList<QByteArray> m_loaded;        // the rows as read at opening or last saved: the merge's base
    bool m_removing = false;

    QLabel* m_label1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QListView* m_list1 = nullptr;
    QToolButton* m_command5 = nullptr;
    QToolButton* m_command1 = nullptr;
    QToolButton* m_command3 = nullptr;
    QToolButton* m_command2 = nullptr;
    bool m_placed = false;
};
