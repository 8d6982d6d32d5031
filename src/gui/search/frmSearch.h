#pragma once

#include "MainWindowView.h"
#include "SearchScan.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class GaugeBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;
namespace kovra {
class Catalogue;
}

// The search window: finds the images whose item areas hold an item containing the typed text,
// lists them with a progress gauge, and shows a chosen result on the main window.
// Opened modeless from the main window, which owns it; every opening is a new window object.
class frmSearch : public QWidget
{
    Q_OBJECT

public:
    frmSearch(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow);
    ~frmSearch() override;

    // The result row last clicked in the result list. It lives for the whole run: a new search, a clear
    // and closing the window leave it as it is.
    static int rememberedRow();

    // The window's actions, as its buttons and the result list run them.
    void search();   // "検索開始", also Enter
    void clear();    // "ｸﾘｱ"
    void showItem(); // "ｱｲﾃﾑ表示", also a double-click on a result row

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void gaugeStep(int position, int count);

    kovra::Catalogue& m_catalogue;
    kovra::ui::MainWindowView& m_main;
    QList<kovra::SearchRow> m_rows; // the rows behind the result lists

    QLabel* m_label1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QListWidget* m_list1 = nullptr;
    QListWidget* m_list2 = nullptr;
    QListWidget* m_list3 = nullptr;
    QListWidget* m_list4 = nullptr;
    QToolButton* m_command5 = nullptr;
    QToolButton* m_command1 = nullptr;
    QToolButton* m_command2 = nullptr;
    QToolButton* m_command3 = nullptr;
    QLabel* m_label2 = nullptr;
    GaugeBox* m_picture1 = nullptr;
    GaugeBox* m_picture2 = nullptr;
};
