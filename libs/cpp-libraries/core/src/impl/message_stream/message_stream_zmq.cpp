#include <core/impl/message_stream/message_stream_zmq.h>

#include <core/exception.h>

#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace {

// Not isalpha: it depends on the locale and is undefined for bytes above 127.
bool is_ascii_letter(char _byte) {
    return (_byte >= 'A' && _byte <= 'Z') || (_byte >= 'a' && _byte <= 'z');
}

}  // namespace

message_stream_zmq::message_stream_zmq(boost::asio::io_context& _io_context,
                                       const component_logger& _logger, const std::string& _address,
                                       const curve::client_keys* _keys)
    : m_stream_zmq_raw(_io_context, _logger, _address, _keys) {}

message_stream::subscription::ptr message_stream_zmq::subscribe(boost::string_view _topic,
                                                                callback _callback) {
    // Checked here: the filter below is never empty.
    if (!_callback) {
        throw exception("message_stream_zmq::subscribe: the callback is empty", ZEL_LOCATION);
    }
    std::string topic(_topic);
    if (!topic.empty() && is_ascii_letter(topic.front())) {
        topic.insert(topic.begin(), '#');
    }
    return m_stream_zmq_raw.subscribe(topic,
                                      [callback = std::move(_callback)](boost::string_view _frame) {
                                          const auto object = _frame.find('{');
                                          if (object != boost::string_view::npos) {
                                              callback(_frame.substr(object));
                                          }
                                      });
}

void message_stream_zmq::on_connection_change(connection_callback _callback) {
    m_stream_zmq_raw.on_connection_change(std::move(_callback));
}

}  // namespace core
}  // namespace libs
}  // namespace zel
