#include <core/impl/redis/reply_bound.h>

#include <core/redis/context.h>

#include <hiredis/hiredis.h>

#include <algorithm>
#include <charconv>
#include <system_error>

namespace zel {
namespace libs {
namespace core {
namespace redis {

void reply_bound::install(redisReader& _reader) {
    m_functions = _reader.fn;
    m_bounded_functions = *m_functions;
    m_bounded_functions.createArray = create_array;
    _reader.fn = &m_bounded_functions;
    _reader.privdata = this;
}

void* reply_bound::create_array(const redisReadTask* _task, int _elements) {
    auto& self = *static_cast<reply_bound*>(_task->privdata);
    // Refused, the array reads as out of memory to hiredis, which stops reading.
    return self.admits_array(_task, _elements) ? self.m_functions->createArray(_task, _elements)
                                               : nullptr;
}

bool reply_bound::admits_array(const redisReadTask* _task, int _elements) {
    // A reply's outermost array starts the count.
    if (_task->parent == nullptr) {
        m_elements = 0;
    }
    m_elements += static_cast<std::size_t>(std::max(_elements, 0));
    m_refused = m_refused || m_elements > context::max_reply_elements;
    return !m_refused;
}

bool reply_bound::admits_pending_string(const redisReader& _reader) {
    // hiredis has read the type of the item it waits for, and stops before its length.
    if (_reader.ridx < 0 || _reader.rstack[_reader.ridx].type != REDIS_REPLY_STRING) {
        return true;
    }
    const char* const first = _reader.buf + _reader.pos;
    const char* const end = _reader.buf + _reader.len;
    const char* const last = std::find(first, end, '\r');
    long long length = 0;
    const auto parsed = std::from_chars(first, last, length);
    // Read once the line has ended: a part of the number may still come.
    if (last == end || parsed.ec == std::errc::invalid_argument) {
        return true;
    }
    m_refused = m_refused || parsed.ec == std::errc::result_out_of_range ||
                length > static_cast<long long>(context::max_reply_string);
    return !m_refused;
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
