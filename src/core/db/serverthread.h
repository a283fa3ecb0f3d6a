#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace verna::db {

// The thread on which the calls of one server connection that wait on the server run (connect,
// statements, commit), so that the thread that asked for them keeps its windows alive, can stop
// a call and can give up on a server that does not answer. One call at a time.
class ServerThread
{
public:
    ServerThread();
    // Ends the thread; a thread left behind (abandon) ends on its own once its call returns.
    ~ServerThread();
    ServerThread(const ServerThread &) = delete;
    ServerThread &operator=(const ServerThread &) = delete;

    // Hands the call over; the call owns everything it touches (it may outlive the caller).
    void start(std::function<void()> call);
    // Waits at most timeout for the call handed over last; true once it has returned.
    bool wait(std::chrono::milliseconds timeout);
    // Leaves the running call behind: once it returns, the thread runs afterwards and ends.
    // Nothing waits for it (the server may never answer); the object may be deleted at once.
    void abandon(std::function<void()> afterwards);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace verna::db
