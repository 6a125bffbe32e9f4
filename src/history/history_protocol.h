#pragma once

// The history endpoint's small protocol, shared by the relay and its readers. A reader's DEALER
// socket talks to the relay's ROUTER socket. Every message is a first frame holding a line of
// words separated by single spaces, then, for some, further frames:
//
// reader to relay
//   "last N" [prefix...]      the last N records held that begin with a prefix (any record when
//                             none is given), then every new one
//   "after ID S" [prefix...]  the records after sequence S of the relay start ID, then every new
//                             one; a relay started since (another ID) sends all it holds
//   "ping"                    the reader is still there
//   "read N"                  the reader has read N more bytes of records (the frames alone): the
//                             relay sends a reader at most window bytes it has not said it read
//   "bye"                     the reader is done: its slot is free for another
// relay to reader
//   "start ID S"              the request is taken: the relay start ID sends the records from
//                             sequence S on
//   "record S" + frame        a record, its sequence number and the frame itself
//   "lost N REASON"           N records (matching or not) the reader will never get, and why
//   "live"                    what was held at the request has been sent; what follows is new
//   "end ID S"                the relay start ID stops, its last record was sequence S, and the
//                             reader has had every record it asked for up to S but those told
//                             lost: a reader that reads on from another start lacks nothing;
//                             the reader says "bye", and no more until it connects again
//   "pong" / "unknown"        to a ping: the relay knows the reader / has forgotten it (it
//                             restarted, or the reader was silent, reconnected or let go for
//                             another): ask again; a reader silent for a while is sent "pong"
//                             unasked, to learn whether its connection is still there
//   "error TEXT"              the request was refused, and why

#include <chrono>
#include <cstddef>

namespace zel {
namespace history_protocol {

// A reader pings this often, and the relay forgets a reader silent for expiry.
constexpr std::chrono::seconds ping_period(1);
constexpr std::chrono::seconds expiry(30);

// What one reader can make the relay hold: its prefixes, each at most max_prefix_size bytes.
constexpr std::size_t max_prefixes = 64;
constexpr std::size_t max_prefix_size = 1024;

// Bytes of records the relay sends a reader beyond what it said it read (a record larger than
// this is sent alone), and how often a reader says what it read: a reader that stops reading
// makes the relay hold at most this much for it, and one that reads is never kept waiting.
constexpr std::size_t window = 512 * 1024;
constexpr std::size_t read_report = window / 4;

constexpr const char* reader_too_slow = "reader too slow";
constexpr const char* relay_restarted = "relay restarted";
constexpr const char* relay_stopped = "relay stopped";
constexpr const char* too_large = "too large for the history";

}  // namespace history_protocol
}  // namespace zel
