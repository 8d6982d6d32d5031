#pragma once

#include "MainWindowView.h"
#include "SearchScan.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class GaugeBox;
class QLabel;
class QLineEdit;
class QListView;
class QToolButton;
class SearchResults;
namespace kovra {
class HitThumbnails;
}
namespace kovra {
class Catalogue;
}

// The search window: finds the images whose item areas hold an item containing the typed text,
// lists them with a progress gauge, and shows a chosen result on the main window. The results also follow
// the text as it is typed: each change searches again (a burst of keys once), a newer text stops an
// older search, and keys typed meanwhile are taken at once.
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

    // The rows the result lists show now.
    const QList<kovra::SearchRow>& results() const;
    // How many searches ran while typing since the window opened (finished or stopped by a newer text).
    int typedSearches() const { return m_typedSearches; }
    bool isSearchingTypedText() const { return m_typing; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void layoutControls();
    void gaugeStep(int position, int count);
    void searchWhileTyping();
    // An action asked for while a search runs for typed text: that search stops, then the action runs.
    bool deferWhileTyping(std::function<void()> action);

    kovra::Catalogue& m_catalogue;
    kovra::ui::MainWindowView& m_main;
    // List1 and List2 show m_results; List3 and List4 show m_kept, which a clear leaves as it is.
    SearchResults* m_results = nullptr;
    SearchResults* m_kept = nullptr;
    kovra::HitThumbnails* m_thumbnails = nullptr; // the pictures beside List1's rows

    QTimer m_typedTimer;
    bool m_typing = false;                // a search for typed text runs
    bool m_stopTyping = false;            // and is to stop at the next folder
    QList<std::function<void()>> m_after; // what to do once it has
    QElapsedTimer m_sinceEvents;          // input handled while it runs
    QElapsedTimer m_sinceGaugePaint;
    int m_typedSearches = 0;

    QLabel* m_label1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QListView* m_list1 = nullptr;
    QListView* m_list2 = nullptr;
    QListView* m_list3 = nullptr;
    QListView* m_list4 = nullptr;
    QToolButton* m_command5 = nullptr;
    QToolButton* m_command1 = nullptr;
    QToolButton* m_command2 = nullptr;
    QToolButton* m_command3 = nullptr;
    QLabel* m_label2 = nullptr;
    GaugeBox* m_picture1 = nullptr;
    GaugeBox* m_picture2 = nullptr;
};
