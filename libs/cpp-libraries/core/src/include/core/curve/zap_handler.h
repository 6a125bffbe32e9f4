#pragma once

#include <core/curve/key_pair.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

class component_logger;
class events_loop;

namespace curve {

// The process's authenticator of CURVE clients (libzmq's ZAP handler): the sockets it secures
// are CURVE servers that admit exactly the clients whose public key is a .pub file of its
// directory (a .pub file it cannot read is left out, with a warning naming it). Its sockets
// refuse every peer when it is gone, as they enforce its domain; a
// handshake waits for its answer, on the loop's thread, at most libzmq's handshake interval
// (30 s by default), after which libzmq drops the peer. At most 1,000 requests wait for the
// loop; libzmq refuses the handshakes beyond.
//
// Used on the loop's thread only; the loop must outlive it. A process has one at a time, as
// libzmq asks every handler of a context at the same address.
class zap_handler {
public:
    using ptr = std::unique_ptr<zap_handler>;

    // Peers refused since the start, by reason.
    struct refusals {
        // A peer that does not speak CURVE: plain text, or another mechanism.
        std::uint64_t plaintext = 0;
        // A CURVE client whose key is not in the directory.
        std::uint64_t unknown_key = 0;
        // Any other failed handshake: a client that expects another server key, or one that hangs
        // up first, as a plain text client often does on seeing the server's mechanism.
        std::uint64_t failed_handshake = 0;

        std::string status() const;
    };

    // Readings of the directory again since the start.
    struct reloads {
        std::uint64_t performed = 0;
        // Those that left out a key file or could not list the directory.
        std::uint64_t failed = 0;
    };

    // Reads the directory and starts answering on _loop. Refusals are logged through _logger, at
    // most one record per 10 s, which counts those it leaves out. Throws exception naming what
    // fails: the directory, or a second handler in the process.
    static ptr create(events_loop& _loop, const component_logger& _logger, key_pair _server_keys,
                      const std::string& _clients_directory);

    virtual ~zap_handler() = default;

    // Watches a secured socket for the peers refused before they reach the handler. It must go
    // before its socket, as libzmq would otherwise wait for a reader that is gone; it may
    // outlive the handler.
    class watch {
    public:
        using ptr = std::unique_ptr<watch>;
        virtual ~watch() = default;
    };

    using connection_callback = std::function<void(bool _connected)>;

    // Makes _socket (a libzmq socket handle) a CURVE server authenticated by this handler; call
    // it before binding. Throws exception when libzmq refuses. libzmq gives a socket one monitor,
    // which the watch takes: _on_connection, when set, is told through it each connection the
    // socket accepts or makes (true) and loses (false), refused ones included.
    virtual watch::ptr secure(void* _socket, connection_callback _on_connection) = 0;
    // Reads the directory again on a thread of its own, so that the loop never waits for the
    // disk, then, on the loop's thread, admits exactly the clients it now lists, and logs one
    // record that starts with "Reloaded". A key file it cannot read is left out with a warning
    // naming it; a directory it cannot list admits nobody until a reload lists it, with an error
    // naming it, rather than clients it may have been emptied to shut out. Requests that come
    // while a reading runs are served by one reading after it: at most one ever waits. Its
    // destruction waits for a reading under way.
    virtual void reload() = 0;
    virtual const refusals& refused() const = 0;
    virtual const reloads& reloaded() const = 0;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
