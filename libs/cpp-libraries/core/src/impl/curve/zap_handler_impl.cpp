#include <core/impl/curve/zap_handler_impl.h>

#include <core/exception.h>
#include <core/impl/curve/handshake_watch.h>
#include <core/impl/curve/set_option.h>

#include <core/exception_to_string.h>

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>

#include <zmq.h>

#include <chrono>
#include <thread>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace curve {
namespace {

// Where libzmq asks every ZAP handler of a context; the sockets of azmq share one context.
const std::string zap_endpoint = "inproc://zeromq.zap.01";
// The domain the handler's sockets ask about: a request of another domain comes from a socket
// this handler did not secure, and is refused.
const std::string zap_domain = "zel";
// Listed among libzmq 4.3's draft options, which stable builds accept all the same. Without it,
// a CURVE server that finds no handler admits every client.
constexpr int zap_enforce_domain = 93;

constexpr int max_bind_attempts = 20;
constexpr std::chrono::milliseconds bind_retry_interval(5);

// A request of libzmq's has 7 frames for CURVE; the bound only keeps the reading finite.
constexpr std::size_t max_request_frames = 16;
enum request_frame { version, request_id, domain, address, routing_id, mechanism, credentials };
constexpr std::size_t curve_key_size = 32;

// A directory of bad files is told by a few names and a count, not a record a file.
constexpr std::size_t max_skipped_records = 16;

std::string z85(const azmq::message& _key) {
    char text[41];
    zmq_z85_encode(text, static_cast<const std::uint8_t*>(_key.data()), curve_key_size);
    return text;
}

void log_skipped(const component_logger& _logger, const allow_list& _list) {
    const auto& skipped = _list.skipped();
    for (std::size_t i = 0; i < skipped.size() && i < max_skipped_records; ++i) {
        _logger.warning("%1%: left out, its client is not admitted") % skipped[i];
    }
    if (skipped.size() > max_skipped_records) {
        _logger.warning("%1% more key files left out") % (skipped.size() - max_skipped_records);
    }
}

}  // namespace

zap_handler_impl::state::state(boost::asio::io_context& _io_context,
                               const component_logger& _logger, std::string _clients_directory)
    : logger(_logger)
    , zap(_io_context, ZMQ_REP)
    , clients_directory(std::move(_clients_directory))
    , allowed(allow_list::read(clients_directory))
    , log(std::make_shared<refusal_log>(_logger)) {
    log_skipped(logger, allowed);
}

zap_handler_impl::zap_handler_impl(boost::asio::io_context& _io_context,
                                   const component_logger& _logger, key_pair _server_keys,
                                   std::string _clients_directory)
    : m_io_context(_io_context)
    , m_server_keys(std::move(_server_keys))
    , m_state(std::make_shared<state>(_io_context, _logger, std::move(_clients_directory))) {
    boost::system::error_code error;
    // libzmq frees the address of a handler just destroyed only once it has reaped its socket, a
    // moment later.
    for (int attempt = 0; attempt < max_bind_attempts; ++attempt) {
        m_state->zap.bind(zap_endpoint, error);
        if (error.value() != EADDRINUSE) {
            break;
        }
        std::this_thread::sleep_for(bind_retry_interval);
    }
    if (error) {
        throw exception("Cannot start the ZAP handler: " + error.message() +
                            (error.value() == EADDRINUSE ? " (another runs in this process)" : ""),
                        ZEL_LOCATION);
    }
    receive_next(m_state);
}

zap_handler::watch::ptr zap_handler_impl::secure(void* _socket,
                                                 connection_callback _on_connection) {
    set_option(_socket, ZMQ_CURVE_SERVER, 1);
    set_option(_socket, ZMQ_CURVE_SECRETKEY, m_server_keys.secret_key);
    set_option(_socket, ZMQ_ZAP_DOMAIN, zap_domain);
    set_option(_socket, zap_enforce_domain, 1);
    return std::make_unique<handshake_watch>(m_io_context, _socket, m_state->log,
                                             std::move(_on_connection));
}

void zap_handler_impl::reload() {
    if (m_state->reading) {
        m_state->another_waits = true;
        return;
    }
    read_again(m_state);
}

// The answer goes through the loop, where the requests are answered: the list is swapped between
// two of them.
void zap_handler_impl::read_again(const std::shared_ptr<state>& _state) {
    _state->reading = true;
    boost::asio::post(
        _state->reader, [weak_state = std::weak_ptr<state>(_state),
                         directory = _state->clients_directory, loop = _state->zap.get_executor()] {
            allow_list read;
            std::string error;
            try {
                read = allow_list::read(directory);
            } catch (const exception& _error) {
                error = _error.get_string_error();
            } catch (...) {
                error = exception_to_string();
            }
            boost::asio::post(loop, [weak_state, read = std::move(read), error]() mutable {
                if (const auto state = weak_state.lock()) {
                    apply(state, std::move(read), error);
                }
            });
        });
}

void zap_handler_impl::apply(const std::shared_ptr<state>& _state, allow_list&& _read,
                             const std::string& _error) {
    auto& counts = _state->reload_counts;
    ++counts.performed;
    if (!_error.empty()) {
        ++counts.failed;
        _state->logger.error(
            "Reloaded no client keys, no client is admitted until a reload "
            "lists the directory: %1%") %
            _error;
    } else if (!_read.skipped().empty()) {
        ++counts.failed;
        log_skipped(_state->logger, _read);
        _state->logger.warning("Reloaded %1% client keys in %2%, %3% key files left out") %
            _read.size() % _state->clients_directory % _read.skipped().size();
    } else {
        _state->logger.info("Reloaded %1% client keys in %2%") % _read.size() %
            _state->clients_directory;
    }
    // Empty when the directory could not be listed.
    _state->allowed = std::move(_read);
    _state->reading = false;
    if (_state->another_waits) {
        _state->another_waits = false;
        read_again(_state);
    }
}

void zap_handler_impl::receive_next(const std::shared_ptr<state>& _state) {
    _state->zap.async_receive(
        [weak_state = std::weak_ptr<state>(_state)](boost::system::error_code& _error,
                                                    azmq::message& _frame, std::size_t) {
            if (_error == boost::asio::error::operation_aborted) {
                return;
            }
            const auto state = weak_state.lock();
            if (!state) {
                return;
            }
            receive_next(state);
            if (!_error) {
                answer(*state, std::move(_frame));
            }
        });
}

// The rest of a request is there with its first frame, as libzmq delivers messages whole.
void zap_handler_impl::answer(state& _state, azmq::message&& _first) {
    std::vector<azmq::message> request;
    request.push_back(std::move(_first));
    boost::system::error_code error;
    while (request.back().more() && request.size() < max_request_frames && !error) {
        request.emplace_back();
        _state.zap.receive(request.back(), ZMQ_DONTWAIT, error);
    }
    const bool admitted = !error && admits(_state, request);
    const std::string id =
        request.size() > request_id ? std::string(request[request_id].string()) : std::string();
    const std::string user = admitted ? z85(request[credentials]) : std::string();
    const std::string reply[] = {
        "1.0", id, admitted ? "200" : "400", admitted ? "OK" : "Not allowed", user, ""};
    for (std::size_t i = 0; i < std::size(reply) && !error; ++i) {
        _state.zap.send(azmq::message(reply[i]), i + 1 < std::size(reply) ? ZMQ_SNDMORE : 0, error);
    }
}

bool zap_handler_impl::admits(state& _state, const std::vector<azmq::message>& _request) {
    const bool curve = _request.size() == credentials + 1 && _request[version].string() == "1.0" &&
                       _request[domain].string() == zap_domain &&
                       _request[mechanism].string() == "CURVE" &&
                       _request[credentials].size() == curve_key_size;
    if (curve && _state.allowed.admits(std::string(_request[credentials].string()))) {
        return true;
    }
    const std::string peer = _request.size() > address ? std::string(_request[address].string())
                                                       : std::string("an unknown peer");
    if (curve) {
        _state.log->refused(
            &refusals::unknown_key, peer,
            "its key " + z85(_request[credentials]) + " is not in " + _state.clients_directory);
    } else {
        _state.log->refused(&refusals::failed_handshake, peer,
                            "its request is not one of CURVE in this handler's domain");
    }
    return false;
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
