#pragma once

#include "Catalogue.h"
#include "MainWindowView.h"

#include <QList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QMimeData;
class QToolButton;

// The image registration window: a picture file dropped on Image1 is named and registered as a new image
// folder; a registered image is deleted with its folder. Modeless, owned by the main window.
// Each control's objectName is its name (Image1, Command1, Text1, ...); the two Label1 elements are
// "Label1_0" and "Label1_1".
class frmImageRsgist : public QWidget
{
    Q_OBJECT

public:
    frmImageRsgist(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow);

    // The file a drop offers: the first local file of its URL list, empty when it offers none.
    static QString localFileOf(const QMimeData* data);

    // The drop handling, called with the file that a drop on Image1 offered. A refused drop shows its
    // message and changes nothing.
    kovra::DropCheck dropFile(const QString& path);
    // The file last accepted from a drop; empty until then.
    QString droppedPath() const { return m_droppedPath; }

    // Command1: register the accepted file under the typed title. True when the image was registered
    // (the window is then closed).
    bool registerImage();
    // Command3: delete the selected image with its folder after the confirmation.
    void deleteSelectedImage();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void listupImageTitle();

    kovra::Catalogue& m_catalogue;
    kovra::ui::MainWindowView& m_main;
    double m_tpp;
    bool m_placed = false;
    QList<kovra::TitleEntry> m_entries; // List1's entries with their folders

    QString m_droppedPath;
    QLabel* m_label2 = nullptr; // shown file name
    QLineEdit* m_text1 = nullptr;
    QListWidget* m_list1 = nullptr;
    QToolButton* m_command1 = nullptr;
    QToolButton* m_command3 = nullptr;
    QToolButton* m_command2 = nullptr;
};
