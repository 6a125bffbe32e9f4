#include <core/impl/redis/reply_bound.h>

#include <hiredis/hiredis.h>

#include <algorithm>
#include <charconv>
#include <system_error>

namespace zel {
namespace libs {
namespace core {
namespace redis {

namespace {

// What the C library's allocator takes for a block of _bytes: its header, rounded up to 16 bytes.
constexpr std::size_t allocated(std::size_t _bytes) {
    return std::max<std::size_t>(32, (_bytes + 8 + 15) & ~std::size_t(15));
}

constexpr std::size_t record = allocated(sizeof(redisReply));

}  // namespace

void reply_bound::install(redisReader& _reader, check _expects, void* _data) {
    m_expects = _expects;
    m_expects_data = _data;
    m_functions = _reader.fn;
    m_bounded_functions = *m_functions;
    m_bounded_functions.createString = create_string;
    m_bounded_functions.createArray = create_array;
    m_bounded_functions.createInteger = create_integer;
    m_bounded_functions.createNil = create_nil;
    _reader.fn = &m_bounded_functions;
    _reader.privdata = this;
}

reply_bound& reply_bound::of(const redisReadTask* _task) {
    return *static_cast<reply_bound*>(_task->privdata);
}

// Refused, a part reads as out of memory to hiredis, which stops reading.
void* reply_bound::create_string(const redisReadTask* _task, char* _text, std::size_t _length) {
    return of(_task).admits(_task, allocated(_length + 1))
               ? of(_task).m_functions->createString(_task, _text, _length)
               : nullptr;
}

void* reply_bound::create_array(const redisReadTask* _task, int _elements) {
    // hiredis refuses a count past an int's range itself.
    const std::size_t elements = static_cast<std::size_t>(std::max(_elements, 0));
    const std::size_t cost =
        elements == 0 ? 0 : allocated(elements * sizeof(redisReply*)) + elements * record;
    return of(_task).admits(_task, cost) ? of(_task).m_functions->createArray(_task, _elements)
                                         : nullptr;
}

void* reply_bound::create_integer(const redisReadTask* _task, long long _value) {
    return of(_task).admits(_task, 0) ? of(_task).m_functions->createInteger(_task, _value)
                                      : nullptr;
}

void* reply_bound::create_nil(const redisReadTask* _task) {
    return of(_task).admits(_task, 0) ? of(_task).m_functions->createNil(_task) : nullptr;
}

bool reply_bound::admits(const redisReadTask* _task, std::size_t _cost) {
    if (m_expects != nullptr && !m_expects(m_expects_data, _task)) {
        return false;
    }
    if (_task->parent == nullptr) {
        // A reply starts, with its own record, which no array counted.
        m_made = record;
        m_most_held = 0;
    }
    m_made += _cost;
    return admits_total(m_made + m_most_held);
}

bool reply_bound::admits_held(const redisReader& _reader) {
    // Past the first part of a reply, the reader stands inside one of its arrays.
    const bool started = _reader.ridx > 0;
    std::size_t held = _reader.len;
    std::size_t copy = 0;
    // hiredis has read the type of the item it waits for, and stops before a string's length.
    if (_reader.ridx >= 0 && _reader.rstack[_reader.ridx].type == REDIS_REPLY_STRING) {
        const char* const first = _reader.buf + _reader.pos;
        const char* const end = _reader.buf + _reader.len;
        const char* const last = std::find(first, end, '\r');
        long long length = 0;
        const auto parsed = std::from_chars(first, last, length);
        // Read once the line has ended: a part of the number may still come.
        if (last != end && parsed.ec == std::errc::result_out_of_range) {
            m_refused = true;
            return false;
        }
        if (last != end && parsed.ec == std::errc() && length > 0) {
            const auto announced = static_cast<unsigned long long>(length);
            if (announced > m_limit) {
                m_refused = true;
                return false;
            }
            held = std::max<std::size_t>(held, announced);
            copy = allocated(announced + 1);
        }
    }
    if (!started) {
        return admits_total(record + copy + held);
    }
    m_most_held = std::max(m_most_held, held);
    return admits_total(m_made + copy + m_most_held);
}

bool reply_bound::admits_total(std::size_t _total) {
    m_refused = m_refused || _total > m_limit;
    return !m_refused;
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
