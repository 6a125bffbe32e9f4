#include "flooder.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <zmq.hpp>

#include <iostream>
#include <stdexcept>
#include <string>

namespace relay_bench {
namespace {

constexpr int lowest_priority = 19;
// How often the thread looks whether it is to stop while no refusal comes.
constexpr int poll_interval_ms = 20;

// A client key pair of its own: the relay's clients directory does not list it.
void make_unknown(endpoints& _client) {
    char public_key[41];
    char secret_key[41];
    if (zmq_curve_keypair(public_key, secret_key) != 0) {
        throw std::runtime_error("libzmq has no CURVE");
    }
    _client.public_key = public_key;
    _client.secret_key = secret_key;
}

}  // namespace

flooder::flooder(const endpoints& _relay) : m_thread([this, _relay] { run(_relay); }) {}

flooder::~flooder() {
    m_stopping.store(true, std::memory_order_relaxed);
    m_thread.join();
}

void flooder::run(const endpoints& _relay) {
    try {
        // Of this thread alone, on Linux; the context's threads, made afterwards, inherit it.
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), lowest_priority);
        zmq::context_t context;
        endpoints client = _relay;
        make_unknown(client);
        zmq::socket_t socket(context, zmq::socket_type::push);
        socket.set(zmq::sockopt::linger, 0);
        client.secure(socket);
        const std::string monitor = "inproc://flood";
        zmq_socket_monitor(socket.handle(), monitor.c_str(), ZMQ_EVENT_HANDSHAKE_FAILED_AUTH);
        zmq::socket_t events(context, zmq::socket_type::pair);
        events.set(zmq::sockopt::rcvtimeo, poll_interval_ms);
        events.connect(monitor);
        socket.connect(client.input);
        while (!m_stopping.load(std::memory_order_relaxed)) {
            // An event is two frames: its number and value, then the endpoint.
            zmq::message_t event;
            if (!events.recv(event)) {
                continue;
            }
            while (event.more()) {
                (void)events.recv(event);
            }
            m_refused.fetch_add(1, std::memory_order_relaxed);
            // libzmq gives up on a peer that refused its key: a new connection, at once.
            zmq_disconnect(socket.handle(), client.input.c_str());
            socket.connect(client.input);
        }
    } catch (const std::exception& error) {
        std::cerr << "relay_bench: a flooder stopped: " << error.what() << std::endl;
    }
}

}  // namespace relay_bench
