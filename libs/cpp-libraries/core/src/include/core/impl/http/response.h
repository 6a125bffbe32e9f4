#pragma once

#include <core/http/headers.h>

#include <cstddef>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace http {

// What a transfer receives, kept within the client's limits on a head and a body.
struct response {
    // libcurl's write and header functions, with the response as their data.
    static std::size_t append_to_body(char* _data, std::size_t _size, std::size_t _count,
                                      void* _response);
    static std::size_t read_head_line(char* _data, std::size_t _size, std::size_t _count,
                                      void* _response);

    explicit response(std::size_t _max_body_size) : m_max_body_size(_max_body_size) {}

    std::string m_body;
    std::size_t m_max_body_size;
    bool m_body_too_large = false;
    // Whether the last head received has ended with its blank line; a server
    // that closes before it has not answered.
    bool m_head_ended = false;
    // The fields of the last head, and its size so far.
    headers m_headers;
    std::size_t m_head_size = 0;
    bool m_head_too_large = false;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
