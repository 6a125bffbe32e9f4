#include <core/impl/message_stream/topic_trie.h>

#include <algorithm>
#include <iterator>

namespace zel {
namespace libs {
namespace core {

topic_trie::~topic_trie() {
    // Node by node: destroyed by their parents, the nodes of a long path would take a stack
    // frame each.
    children_vector left = std::move(m_root.children);
    while (!left.empty()) {
        const std::unique_ptr<node> current = std::move(left.back());
        left.pop_back();
        std::move(current->children.begin(), current->children.end(), std::back_inserter(left));
    }
}

std::pair<topic_trie::node*, bool> topic_trie::add(boost::string_view _topic) {
    node* current = &m_root;
    while (!_topic.empty()) {
        const auto place = find_child(*current, _topic.front());
        if (place == current->children.end() || (*place)->bytes.front() != _topic.front()) {
            auto leaf = std::make_unique<node>();
            leaf->bytes.assign(_topic.data(), _topic.size());
            leaf->parent = current;
            current = current->children.insert(place, std::move(leaf))->get();
            break;
        }
        const std::string& edge = (*place)->bytes;
        const auto shared = static_cast<std::size_t>(
            std::mismatch(edge.begin(), edge.end(), _topic.begin(), _topic.end()).first -
            edge.begin());
        if (shared < edge.size()) {
            split(*current, place, shared);
        }
        current = place->get();
        _topic.remove_prefix(shared);
    }
    const bool added = !current->is_topic;
    current->is_topic = true;
    return {current, added};
}

void topic_trie::remove(node& _topic) {
    _topic.is_topic = false;
    callbacks_vector().swap(_topic.callbacks);
    node* current = &_topic;
    // A node that is no topic is kept only where two paths part.
    while (current != &m_root && !current->is_topic && current->children.size() < 2) {
        node& parent = *current->parent;
        const auto place = position_of(*current);
        if (current->children.empty()) {
            parent.children.erase(place);
            current = &parent;
            continue;
        }
        // Its only child takes its place, and its bytes.
        std::unique_ptr<node> child = std::move(current->children.front());
        child->bytes.insert(0, current->bytes);
        child->parent = &parent;
        *place = std::move(child);
        return;
    }
}

std::string topic_trie::prefix(const node& _topic, std::size_t _max) {
    std::vector<const node*> path;
    for (const node* current = &_topic; current != nullptr; current = current->parent) {
        path.push_back(current);
    }
    std::string bytes;
    for (auto step = path.rbegin(); step != path.rend() && bytes.size() < _max; ++step) {
        bytes.append((*step)->bytes, 0, _max - bytes.size());
    }
    return bytes;
}

topic_trie::children_vector::iterator topic_trie::find_child(node& _parent, char _byte) {
    return std::lower_bound(_parent.children.begin(), _parent.children.end(), _byte,
                            [](const std::unique_ptr<node>& _child, char _value) {
                                return _child->bytes.front() < _value;
                            });
}

topic_trie::children_vector::iterator topic_trie::position_of(node& _child) {
    return find_child(*_child.parent, _child.bytes.front());
}

void topic_trie::split(node& _parent, children_vector::iterator _place, std::size_t _shared) {
    node& lower = **_place;
    auto middle = std::make_unique<node>();
    middle->bytes.assign(lower.bytes, 0, _shared);
    middle->parent = &_parent;
    lower.bytes.erase(0, _shared);
    lower.parent = middle.get();
    middle->children.push_back(std::move(*_place));
    *_place = std::move(middle);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
