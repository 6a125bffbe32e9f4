#pragma once

#include <zmq.h>

#include <boost/asio/buffer.hpp>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

namespace azmq {

// One ZeroMQ frame. It owns its content: destroying it releases the content, or only this
// frame's share of it when libzmq shares the content between frames.
class message {
public:
    message() noexcept { zmq_msg_init(&m_msg); }

    // A frame of _size bytes whose content is left for the caller to fill.
    explicit message(std::size_t _size) { init_size(_size); }

    message(const void* _data, std::size_t _size) { init_copy(_data, _size); }

    explicit message(boost::asio::const_buffer _buffer) {
        init_copy(_buffer.data(), _buffer.size());
    }

    // Adopts the string's buffer without copying it; libzmq deletes the string with the last
    // frame that shares it. A text that fits inside the frame itself is copied instead: that
    // costs no allocation, where adopting costs two (the string's new owner and libzmq's
    // reference count).
    explicit message(std::string _text) {
        if (_text.size() <= inline_capacity) {
            init_copy(_text.data(), _text.size());
            return;
        }
        auto* owner = new std::string(std::move(_text));
        if (zmq_msg_init_data(&m_msg, owner->data(), owner->size(), &delete_string, owner) != 0) {
            delete owner;
            throw std::bad_alloc();
        }
    }

    message(message&& _other) noexcept {
        zmq_msg_init(&m_msg);
        zmq_msg_move(&m_msg, &_other.m_msg);
    }

    message& operator=(message&& _other) noexcept {
        if (this != &_other) {
            zmq_msg_move(&m_msg, &_other.m_msg);
        }
        return *this;
    }

    message(const message&) = delete;
    message& operator=(const message&) = delete;

    ~message() { zmq_msg_close(&m_msg); }

    // Whether further frames of the same multipart message follow this one.
    bool more() const noexcept { return zmq_msg_more(&m_msg) != 0; }

    std::size_t size() const noexcept { return zmq_msg_size(&m_msg); }

    void* data() noexcept { return zmq_msg_data(&m_msg); }

    // libzmq's accessor takes a mutable frame but only reads it.
    const void* data() const noexcept { return zmq_msg_data(const_cast<zmq_msg_t*>(&m_msg)); }

    boost::asio::const_buffer buffer() const noexcept { return {data(), size()}; }

    boost::string_view string() const noexcept {
        return {static_cast<const char*>(data()), size()};
    }

    zmq_msg_t* native_handle() noexcept { return &m_msg; }

    const zmq_msg_t* native_handle() const noexcept { return &m_msg; }

private:
    // The largest content libzmq keeps inside zmq_msg_t itself on 64-bit targets; longer
    // content lives in a separate allocation.
    static constexpr std::size_t inline_capacity = 33;

    static void delete_string(void*, void* _owner) { delete static_cast<std::string*>(_owner); }

    void init_size(std::size_t _size) {
        if (zmq_msg_init_size(&m_msg, _size) != 0) {
            throw std::bad_alloc();
        }
    }

    void init_copy(const void* _data, std::size_t _size) {
        init_size(_size);
        if (_size != 0) {
            std::memcpy(data(), _data, _size);
        }
    }

    zmq_msg_t m_msg;
};

}  // namespace azmq
