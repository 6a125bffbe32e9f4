#include <core/curve/zap_handler.h>

#include <core/events_loop.h>
#include <core/impl/curve/zap_handler_impl.h>

namespace zel {
namespace libs {
namespace core {
namespace curve {

std::string zap_handler::refusals::status() const {
    return std::to_string(plaintext) + " plaintext, " + std::to_string(unknown_key) +
           " unknown key, " + std::to_string(failed_handshake) + " failed handshake";
}

zap_handler::ptr zap_handler::create(events_loop& _loop, const component_logger& _logger,
                                     key_pair _server_keys, const std::string& _clients_directory) {
    return std::make_unique<zap_handler_impl>(_loop.get_io_context(), _logger,
                                              std::move(_server_keys), _clients_directory);
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
