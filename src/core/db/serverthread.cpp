#include "db/serverthread.h"

#include <condition_variable>
#include <mutex>

namespace verna::db {

struct ServerThread::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable returned;
    std::function<void()> call;
    std::function<void()> afterwards;
    bool running = false;
    bool abandoned = false;
    bool quit = false;
};

ServerThread::ServerThread()
    : m_shared(std::make_shared<Shared>())
{
    m_thread = std::thread([shared = m_shared] {
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->wake.wait(lock, [&] { return shared->quit || shared->call; });
            if (!shared->call)
                return;
            std::function<void()> call = std::move(shared->call);
            shared->call = nullptr;
            lock.unlock();
            call();
            // What the call holds is released here, before the caller hears it returned.
            call = nullptr;
            lock.lock();
            shared->running = false;
            if (shared->abandoned) {
                std::function<void()> afterwards = std::move(shared->afterwards);
                lock.unlock();
                if (afterwards)
                    afterwards();
                return;
            }
            shared->returned.notify_all();
        }
    });
}

ServerThread::~ServerThread()
{
    {
        const std::lock_guard lock(m_shared->mutex);
        if (m_shared->abandoned) {
            m_thread.detach();
            return;
        }
        m_shared->quit = true;
    }
    m_shared->wake.notify_all();
    m_thread.join();
}

void ServerThread::start(std::function<void()> call)
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->call = std::move(call);
        m_shared->running = true;
    }
    m_shared->wake.notify_one();
}

bool ServerThread::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->returned.wait_for(lock, timeout, [this] { return !m_shared->running; });
}

void ServerThread::abandon(std::function<void()> afterwards)
{
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->running) {
        // It returned meanwhile: nothing is left behind, the follow-up runs here.
        lock.unlock();
        if (afterwards)
            afterwards();
        return;
    }
    m_shared->abandoned = true;
    m_shared->afterwards = std::move(afterwards);
}

} // namespace verna::db
