#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace zel {

// The most recent frames the relay has relayed, each with a sequence number, in one ring of
// bytes allocated once: what it holds, per-record overhead included, never exceeds the bound it
// is made with. Each record costs its bytes plus an 8-byte header (its size and kind); a frame
// larger than the whole ring, or than max_record_size, is kept as a header alone that says so.
// Appending copies the frame once and overwrites the oldest records to make room. Each header also
// holds the size of the record before it, so that a reader can walk back from the newest.
//
// Readers keep a cursor each and move it themselves: the ring never waits for them, and a
// cursor whose records were overwritten learns how many it lost. The thread that appends alone
// may use a history.
class history {
public:
    // Sequence numbers start at 1 with each history, so that "after 0" is everything.
    static constexpr std::uint64_t first_sequence = 1;
    static constexpr std::size_t header_size = 8;
    // Below this the ring holds too few records to be of use.
    static constexpr std::size_t min_bytes = 4096;
    // What a header has room for beside the record's own size and kind: the previous one's size.
    static constexpr std::size_t max_record_size = (std::size_t(1) << 30) - 1;

    // The position of the next record a reader reads: its sequence number, and where its header
    // is, or will be when it is appended.
    struct cursor {
        std::uint64_t sequence;
        std::size_t offset;
    };

    enum class kind : std::uint32_t { frame = 0, too_large = 1, wrap = 2 };

    struct record {
        kind what;
        const char* data;
        std::size_t size;
    };

    // Throws std::invalid_argument below min_bytes, std::bad_alloc when the ring cannot be had.
    explicit history(std::size_t _bytes);
    history(const history&) = delete;
    history& operator=(const history&) = delete;

    void append(const void* _data, std::size_t _size);

    // Calls _callback after the next append, once: a reader at the end waits for it this way.
    // The callback is set once; watch() arms it again.
    void on_append(std::function<void()> _callback) { m_on_append = std::move(_callback); }
    void watch() { m_watched = true; }

    std::uint64_t oldest_sequence() const { return m_oldest; }
    std::uint64_t next_sequence() const { return m_next; }
    cursor oldest() const { return {m_oldest, m_head}; }
    cursor end() const { return {m_next, m_tail}; }

    // Moves a cursor whose records were overwritten to the oldest record; returns how many it
    // lost.
    std::uint64_t catch_up(cursor& _cursor) const;
    // Reads the record at _cursor and moves past it; false at the end. The record's bytes stay
    // valid until the next append. _cursor must not have been overwritten (see catch_up).
    bool read(cursor& _cursor, record& _record) const;
    // Moves _cursor back to the record before it and reads it; false at the oldest, or when
    // _cursor's own record is no longer held. The record's bytes stay valid until the next append.
    bool read_back(cursor& _cursor, record& _record) const;

private:
    struct header;

    std::size_t header_at(std::size_t _offset) const;
    header read_header(std::size_t _offset) const;
    std::size_t place(std::size_t _slot);
    void wrap();
    void drop_oldest();
    void write_header(std::size_t _offset, kind _kind, std::size_t _size, std::size_t _previous);

    const std::size_t m_capacity;
    const std::unique_ptr<char[]> m_ring;
    // The oldest record's header (when any is held), the newest one's, and where the next one
    // goes; where the records before the last wrap end.
    std::size_t m_head = 0;
    std::size_t m_newest = 0;
    std::size_t m_tail = 0;
    std::size_t m_wrap_end = 0;
    std::uint64_t m_oldest = first_sequence;
    std::uint64_t m_next = first_sequence;
    bool m_watched = false;
    std::function<void()> m_on_append;
};

}  // namespace zel
