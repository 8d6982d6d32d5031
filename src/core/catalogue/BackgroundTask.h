#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <thread>
#include <utility>

namespace kovra {

// A function run on a thread of its own. It is asked to stop through the flag it is given, which it
// reads between its steps (nothing interrupts it). join() waits for it and throws the exception it
// ended with; the destructor asks it to stop and waits, so the function never outlives what it uses.
class BackgroundTask
{
public:
    enum class Priority {
        Normal,
        Low, // the scheduler's nice 10 for this thread: the windows keep the other core
    };
    using Work = std::function<void(const std::atomic<bool>& stop)>;

    explicit BackgroundTask(Work work, Priority priority = Priority::Normal);
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    void requestStop() { m_stop.store(true); }
    // Waits for the function to return and rethrows its exception, once; later calls return at once.
    void join();

private:
    std::atomic<bool> m_stop{false};
    std::exception_ptr m_error; // written by the thread, read after it was joined
    std::thread m_thread;
};

} // namespace kovra
