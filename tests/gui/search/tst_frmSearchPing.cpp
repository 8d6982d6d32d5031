// On an X server (xcb): while a long search runs, the search window answers the window manager's
// _NET_WM_PING and repaints what another window uncovered, and input and close requests sent to both
// windows meanwhile are dropped. A second X connection plays the window manager.
#include "CatalogueGenerator.h"
#include "FileOps.h"
#include "MessageBox.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <thread>
#include <xcb/xcb.h>

using namespace std::chrono_literals;

namespace {

// The real reads, each made slow, so that the search lasts seconds on a small catalogue.
class SlowReads : public kovra::FileOps
{
public:
    std::atomic<int> reads{0};
    ReadStatus readFile(const QString& path, QByteArray& out) override
    {
        ++reads;
        std::this_thread::sleep_for(200us);
        return FileOps::readFile(path, out);
    }
};

class XClient
{
public:
    XClient() : m_c(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        // The answer is sent to the root window for clients selecting its structure events.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        m_protocols = atom("WM_PROTOCOLS");
        m_ping = atom("_NET_WM_PING");
        m_delete = atom("WM_DELETE_WINDOW");
        xcb_flush(m_c);
    }
    ~XClient() { xcb_disconnect(m_c); }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    void protocolMessage(xcb_window_t w, xcb_atom_t what, uint32_t stamp)
    {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = m_protocols;
        ev.data.data32[0] = what;
        ev.data.data32[1] = stamp;
        ev.data.data32[2] = w;
        xcb_send_event(m_c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        xcb_flush(m_c);
    }
    void ping(xcb_window_t w, uint32_t stamp) { protocolMessage(w, m_ping, stamp); }
    void askToClose(xcb_window_t w) { protocolMessage(w, m_delete, XCB_CURRENT_TIME); }

    // True when the answer to the ping `stamp` reached the root window within the time. On the
    // program's own thread the program's events are handled meanwhile (pumpEvents).
    bool pingAnswered(uint32_t stamp, std::chrono::milliseconds within, bool pumpEvents = false)
    {
        const auto end = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < end) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                bool answer = false;
                if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                    const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
                    answer = m->window == m_root && m->data.data32[0] == m_ping && m->data.data32[1] == stamp;
                }
                free(e);
                if (answer)
                    return true;
            }
            if (pumpEvents)
                QCoreApplication::processEvents();
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    // A window laid over the rectangle for a moment and taken away, as a window moved across would.
    void coverAndUncover(const QRect& r)
    {
        const xcb_window_t w = xcb_generate_id(m_c);
        const uint32_t values[] = {1};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_root, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                          uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(m_c, w);
        xcb_flush(m_c);
        std::this_thread::sleep_for(50ms);
        xcb_destroy_window(m_c, w);
        xcb_flush(m_c);
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return a;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0, m_ping = 0, m_delete = 0;
};

// Counts the paints of a widget from a moment on.
class PaintCounter : public QObject
{
public:
    std::atomic<bool> counting{false};
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && counting)
            ++paints;
        return false;
    }
};

} // namespace

class tst_frmSearchPing : public QObject
{
    Q_OBJECT

private slots:
    void answersPingAndRepaintsDuringLongSearch();
};

void tst_frmSearchPing::answersPingAndRepaintsDuringLongSearch()
{
    QTemporaryDir dir;
    QVERIFY(kovra::bench::generateCatalogue(dir.path(), 300, 11));
    kovra::MessageBoxRecorder boxes;
    // The catalogue's index reads through these slow reads, which keep the first search long.
    SlowReads slow;
    kovra::Catalogue catalogue(dir.path(), slow);
    frmMain main(catalogue);
    main.setWindowFactory(frmMain::Window::Search, [m = &main] { return new frmSearch(m->catalogue(), *m); });
    main.show();
    auto* w = qobject_cast<frmSearch*>(main.openWindow(frmMain::Window::Search));
    QVERIFY(w && QTest::qWaitForWindowExposed(w) && QTest::qWaitForWindowExposed(&main));
    auto* text = w->findChild<QLineEdit*>(QStringLiteral("Text1"));
    text->setText(QStringLiteral("ペン"));
    const xcb_window_t searchWindow = xcb_window_t(w->winId());
    const xcb_window_t mainWindow = xcb_window_t(main.winId());
    QRect covered = w->frameGeometry();

    XClient x;
    x.ping(searchWindow, 1);
    QVERIFY2(x.pingAnswered(1, 5000ms, true), "no answer to the ping before the search");

    // The window itself: the gauge's own repaints during the search reach the gauge only.
    PaintCounter paints;
    w->installEventFilter(&paints);

    const kovra::ScopedFileOps installed(&slow);
    std::atomic<bool> searching{true};
    std::atomic<bool> answered{false}, answeredWhileSearching{false};
    std::thread wm([&] {
        while (slow.reads < 200 && searching)
            std::this_thread::sleep_for(5ms);
        paints.counting = true;
        x.coverAndUncover(covered);
        x.askToClose(searchWindow);
        x.askToClose(mainWindow);
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--window"),
                                                      QString::number(searchWindow), QStringLiteral("x")});
        x.ping(searchWindow, 2);
        answered = x.pingAnswered(2, 3000ms);
        answeredWhileSearching = answered && searching;
    });
    QPointer<frmSearch> alive(w);
    QElapsedTimer took;
    took.start();
    w->search();
    searching = false;
    paints.counting = false;
    wm.join();
    qInfo("search took %lld ms over %d reads; ping answered during it: %s; paints during it: %d", took.elapsed(),
          int(slow.reads), answeredWhileSearching ? "yes" : "no", paints.paints);

    QVERIFY(answered);
    QVERIFY(answeredWhileSearching);
    QVERIFY(paints.paints > 0);
    // Nothing of the close requests and the key reached the windows, during the search or after it.
    QCoreApplication::processEvents();
    QVERIFY(alive && w->isVisible() && main.isVisible());
    QCOMPARE(text->text(), QStringLiteral("ペン"));
    QVERIFY(w->findChild<QListView*>(QStringLiteral("List1"))->model()->rowCount() > 0);
}

QTEST_MAIN(tst_frmSearchPing)
#include "tst_frmSearchPing.moc"
