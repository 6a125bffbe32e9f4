#pragma once

#include <test_support/scratch_directory.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace test_support {

class child_process;

// A redis-server of its own for one test: loopback only, on a free port, persistence off, in a
// scratch folder that is removed with it. command() and kill_clients() may be called from several
// threads at once, but not while restart() runs. Construct and restart it on a thread that lives
// as long as the server should: child_process has a child killed when the thread that started it
// ends.
class redis_server {
public:
    // Starts it and waits at most ten seconds until it answers PING; throws std::runtime_error,
    // carrying what the server wrote, if it does not.
    redis_server();
    // Stops it (SIGTERM, then SIGKILL after five seconds), reaps it and removes the folder.
    ~redis_server();
    redis_server(const redis_server&) = delete;
    redis_server& operator=(const redis_server&) = delete;

    int port() const { return m_port; }
    // The scratch folder, the server's working directory.
    const std::string& directory() const { return m_directory.path(); }

    // Stops the server and starts a new one on the same port, waiting until it answers; the data
    // goes with the old one. A port still taken is tried again until the ten seconds are up, then
    // std::runtime_error is thrown and the server stays stopped.
    void restart();

    // Sends one command over a fresh connection of its own and returns the reply as raw RESP
    // text (e.g. "+PONG\r\n", "$3\r\nabc\r\n"); an error reply is returned, not thrown.
    // Arguments are length-counted, any bytes. Throws std::runtime_error when no complete reply
    // arrives within _timeout.
    std::string command(const std::vector<std::string>& _args,
                        std::chrono::milliseconds _timeout = std::chrono::seconds(10)) const;

    // Sends _signal to the server: SIGSTOP and SIGCONT make a server that stops answering, with its
    // connections open, and comes back.
    void send_signal(int _signal) const;

    // Closes every normal client connection from the server side ("CLIENT KILL TYPE normal"),
    // except the one it uses itself to send it. A connection in SUBSCRIBE mode is of type pubsub
    // to the server and stays open.
    void kill_clients() const;

private:
    // Keeping the port is what restart() promises; a first start may move to another port when
    // the one it picked was taken before the server could bind it.
    void start(bool _keep_port);
    // What the server wrote to standard error and to its log; empty when it was not running.
    std::string stop();
    std::vector<std::string> arguments() const;
    std::string log_path() const;

    scratch_directory m_directory;
    int m_port = 0;
    std::unique_ptr<child_process> m_process;
};

}  // namespace test_support
