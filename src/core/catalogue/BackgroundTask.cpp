#include "BackgroundTask.h"

#include <sys/resource.h>
#include <unistd.h>

namespace kovra {

BackgroundTask::BackgroundTask(Work work, Priority priority)
    : m_thread([this, work = std::move(work), priority] {
          if (priority == Priority::Low)
              ::setpriority(PRIO_PROCESS, id_t(::gettid()), 10);
          try {
              work(m_stop);
          } catch (...) {
              m_error = std::current_exception();
          }
      })
{}

BackgroundTask::~BackgroundTask()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundTask::join()
{
    if (!m_thread.joinable())
        return;
    m_thread.join();
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

} // namespace kovra
