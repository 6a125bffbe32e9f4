#include <core/curve/client_keys.h>

#include <core/curve/key_file.h>
#include <core/impl/curve/set_option.h>

#include <zmq.h>

namespace zel {
namespace libs {
namespace core {
namespace curve {

client_keys client_keys::read(const std::string& _server_key_file, const std::string& _key_prefix) {
    return {read_key_file(_server_key_file), key_pair::read(_key_prefix + ".key")};
}

void client_keys::apply(void* _socket) const {
    set_option(_socket, ZMQ_CURVE_SERVERKEY, server_public_key);
    set_option(_socket, ZMQ_CURVE_PUBLICKEY, own.public_key);
    set_option(_socket, ZMQ_CURVE_SECRETKEY, own.secret_key);
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
