#pragma once

#include "Catalogue.h"
#include "MainWindowView.h"
#include "RegistrationQueue.h"

#include <QList>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QListView;
class QMimeData;
class QPushButton;
class QToolButton;

namespace kovra {
class TitleListModel;
}

// The image registration window: pictures dropped anywhere on it (files, or a folder's pictures), chosen
// in the file dialog or pasted are named and registered one after another as new image folders; a
// registered image is deleted with its folder. Modeless, owned by the main window.
// Each control's objectName is its name (Image1, Command1, Text1, ...); the two Label1 elements are
// "Label1_0" and "Label1_1".
class frmImageRsgist : public QWidget
{
    Q_OBJECT

public:
    frmImageRsgist(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow);

    // The file dialog: (parent, caption, name filters) -> the chosen files, empty when cancelled.
    using FileChooser = std::function<QStringList(QWidget* parent, const QString& caption, const QStringList& filters)>;
    // Replaces the dialog (tests); an empty chooser restores it. Returns the previous one.
    static FileChooser setFileChooser(FileChooser chooser);
    // The dialog's filters: the picture files, then every file.
    static QStringList fileFilters();

    // The files a drop or the clipboard offers: the local files of its URL list, in order.
    static QStringList localFilesOf(const QMimeData* data);

    // What a drop of these files and folders does (the file dialog and a pasted file list as well): the
    // first picture that passes the checks becomes the current one, those before it are refused with their
    // messages; when none passes, the window stays as it was. The check of the last file looked at
    // (Accepted when one became current; Ignored when there was none).
    kovra::DropCheck dropFiles(const QStringList& paths);
    kovra::DropCheck dropFile(const QString& path) { return dropFiles({path}); }
    // Command4 and Ctrl+O: the file dialog, then as a drop of the chosen files.
    void chooseFiles();
    // Ctrl+V: copied files as a drop; else a copied picture, registered as a PNG file.
    void paste();
    // Command5: the current picture of several is left out, and the next one offered.
    void skipFile();

    // The current picture: the file last accepted; empty until then and once the pictures are done with.
    QString droppedPath() const { return m_queue.currentPath(); }
    const kovra::RegistrationQueue& queue() const { return m_queue; }

    // Command1 and Enter in the title box: register the current picture under the typed title. True when
    // the image was registered; after the last picture the window is closed.
    bool registerImage();
    // Command3: delete the selected image with its folder after the confirmation.
    void deleteSelectedImage();

    // For the drop targets inside the window.
    bool clipboardOffersPicture() const;

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void listupImageTitle();
    kovra::DropCheck offer(kovra::RegistrationQueue incoming);
    kovra::DropCheck showFile(const QString& path);
    void offerNext();
    void showCurrent();

    kovra::Catalogue& m_catalogue;
    kovra::ui::MainWindowView& m_main;
    double m_tpp;
    bool m_placed = false;
    kovra::RegistrationQueue m_queue; // the pictures offered; its current one is the drop path

    QLabel* m_label2 = nullptr; // shown file name
    QLabel* m_label5 = nullptr; // position among several pictures
    QLineEdit* m_text1 = nullptr;
    kovra::TitleListModel* m_titles = nullptr; // List1's entries with their folders
    QListView* m_list1 = nullptr;
    QToolButton* m_command1 = nullptr;
    QToolButton* m_command3 = nullptr;
    QToolButton* m_command2 = nullptr;
    QPushButton* m_command4 = nullptr; // file dialog
    QPushButton* m_command5 = nullptr; // skip
};
