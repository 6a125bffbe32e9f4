#pragma once

#include <boost/utility/string_view.hpp>

#include <cstdint>
#include <string>

namespace zel {

// The first line of a message a history reader sends (see history_protocol.h).
struct history_request {
    enum class action { last, after, ping, read, bye, invalid };

    action what = action::invalid;
    // last: how many records; after: the last sequence number the reader has had; read: how many
    // bytes of records the reader has read since it last said so.
    std::uint64_t number = 0;
    // after: the relay start the sequence number belongs to.
    std::string identity;
    // invalid: why, for the reader.
    std::string error;

    static history_request parse(boost::string_view _line);
};

}  // namespace zel
