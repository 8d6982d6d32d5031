#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace kovra::ui {

// A long step that runs on the user-interface thread (a search scan, the copy of a registration): for its
// lifetime the busy cursor shows and no input or close reaches any window of the program, while each call
// of keepAnswering() lets paints, timers and the window manager's ping through, so the windows stay drawn
// and never look hung. What the user typed or clicked meanwhile is dropped, never delivered afterwards.
class BusyScope : public QObject
{
public:
    BusyScope();
    ~BusyScope() override;
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // Handles the pending window events when the last round is at least a few milliseconds old.
    void keepAnswering();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QElapsedTimer m_sinceEvents;
};

} // namespace kovra::ui
