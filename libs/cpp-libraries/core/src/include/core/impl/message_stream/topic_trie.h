#pragma once

#include <core/message_stream.h>

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel {
namespace libs {
namespace core {

// The topics of a stream as a tree of their bytes, each edge holding the bytes its topics share
// and no node branching on fewer than two children unless it is a topic: the topics that begin
// a frame lie on one path from the root, found in a walk as long as the frame's bytes they cover,
// whatever the number and lengths of the topics. A topic's bytes are kept once, in its edges.
class topic_trie {
public:
    using callbacks_vector = std::vector<std::weak_ptr<message_stream::callback>>;

    struct node {
        // The bytes from the parent's topic to this node's; empty for the root only.
        std::string bytes;
        node* parent = nullptr;
        // By the first byte of theirs.
        std::vector<std::unique_ptr<node>> children;
        callbacks_vector callbacks;
        // Removals asked for and not yet run: the node stays until the last one has run.
        std::uint32_t pending_removals = 0;
        bool is_topic = false;
    };

    topic_trie() = default;
    ~topic_trie();
    topic_trie(const topic_trie&) = delete;
    topic_trie& operator=(const topic_trie&) = delete;

    // The topic's node, which stays where it is until removed, and whether it is a new topic.
    std::pair<node*, bool> add(boost::string_view _topic);

    // _topic is a topic no more; the nodes it alone needed go.
    void remove(node& _topic);

    // The first _max bytes of _topic.
    static std::string prefix(const node& _topic, std::size_t _max);

    // Calls _visit(node&) for every topic that begins _frame, shorter topics first. _visit may
    // add topics: the walk reads a node's children only once the node's visit has returned.
    template <class Visit>
    void for_each_topic_of(boost::string_view _frame, Visit&& _visit) {
        node* current = &m_root;
        std::size_t depth = 0;
        for (;;) {
            if (current->is_topic) {
                _visit(*current);
            }
            if (depth == _frame.size()) {
                return;
            }
            const auto place = find_child(*current, _frame[depth]);
            if (place == current->children.end() || (*place)->bytes.front() != _frame[depth]) {
                return;
            }
            node& next = **place;
            if (_frame.substr(depth, next.bytes.size()) != next.bytes) {
                return;
            }
            depth += next.bytes.size();
            current = &next;
        }
    }

private:
    using children_vector = std::vector<std::unique_ptr<node>>;

    // Where a child beginning with _byte is, or goes.
    static children_vector::iterator find_child(node& _parent, char _byte);
    static children_vector::iterator position_of(node& _child);
    // Cuts the edge to *_place after its first _shared bytes, with a node there.
    static void split(node& _parent, children_vector::iterator _place, std::size_t _shared);

    node m_root;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
