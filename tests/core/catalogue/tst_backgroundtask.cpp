#include "BackgroundTask.h"

#include <QTest>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace kovra;
using namespace std::chrono_literals;

class tst_backgroundtask : public QObject
{
    Q_OBJECT

private slots:
    void joinWaitsForTheEnd();
    void stopEndsTheLoop_data();
    void stopEndsTheLoop();
    void exceptionReachesTheJoiner();
    void lowPriorityIsTheTasksOwn();
};

void tst_backgroundtask::joinWaitsForTheEnd()
{
    std::atomic<bool> done{false};
    BackgroundTask task([&](const std::atomic<bool>&) {
        std::this_thread::sleep_for(50ms);
        done = true;
    });
    task.join();
    QVERIFY(done);
    task.join(); // a second join returns at once
}

// A loop that reads the flag between steps ends when asked, by requestStop() and by the destructor.
void tst_backgroundtask::stopEndsTheLoop_data()
{
    QTest::addColumn<bool>("byDestructor");
    QTest::newRow("requestStop") << false;
    QTest::newRow("destructor") << true;
}

void tst_backgroundtask::stopEndsTheLoop()
{
    QFETCH(bool, byDestructor);
    std::atomic<int> steps{0};
    std::atomic<bool> ended{false};
    {
        BackgroundTask task([&](const std::atomic<bool>& stop) {
            while (!stop) {
                ++steps;
                std::this_thread::sleep_for(1ms);
            }
            ended = true;
        });
        QTRY_VERIFY(steps > 0);
        if (!byDestructor) {
            task.requestStop();
            task.join();
            QVERIFY(ended);
        }
    }
    QVERIFY(ended);
}

void tst_backgroundtask::exceptionReachesTheJoiner()
{
    BackgroundTask task([](const std::atomic<bool>&) { throw std::runtime_error("disk gone"); });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, task.join());
    task.join(); // passed on once
    // Never joined: the destructor drops it.
    BackgroundTask dropped([](const std::atomic<bool>&) { throw std::runtime_error("disk gone"); });
}

void tst_backgroundtask::lowPriorityIsTheTasksOwn()
{
    const int before = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
    if (before >= 10)
        QSKIP("the test runs at nice 10 or more already");
    std::atomic<int> inside{-100};
    BackgroundTask task([&](const std::atomic<bool>&) { inside = ::getpriority(PRIO_PROCESS, id_t(::gettid())); },
                        BackgroundTask::Priority::Low);
    task.join();
    QCOMPARE(inside.load(), 10);
    QCOMPARE(::getpriority(PRIO_PROCESS, id_t(::gettid())), before);
}

QTEST_GUILESS_MAIN(tst_backgroundtask)
#include "tst_backgroundtask.moc"
