#include "find_repeated_members.h"

// jsoncpp keeps the last of a member given twice and tells nothing; Boost.JSON's event parser
// sees every member as written. Built here alone, header-only: no other part of the tree uses it.
#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/src.hpp>

#include <cstdint>
#include <set>

namespace zel::libs::config {

namespace {

namespace json = boost::json;

// The events of one reading: the path of each open object or array, and the names each open
// object has given so far.
class member_scan {
public:
    static constexpr std::size_t max_object_size = std::size_t(-1);
    static constexpr std::size_t max_array_size = std::size_t(-1);
    static constexpr std::size_t max_key_size = std::size_t(-1);
    static constexpr std::size_t max_string_size = std::size_t(-1);

    std::vector<std::string> repeated;

    bool on_document_begin(json::error_code&) { return true; }
    bool on_document_end(json::error_code&) { return true; }
    bool on_object_begin(json::error_code&) { return open(true); }
    bool on_object_end(std::size_t, json::error_code&) { return close(); }
    bool on_array_begin(json::error_code&) { return open(false); }
    bool on_array_end(std::size_t, json::error_code&) { return close(); }
    bool on_key_part(json::string_view _part, std::size_t, json::error_code&) {
        m_key.append(_part.data(), _part.size());
        return true;
    }
    bool on_key(json::string_view _part, std::size_t, json::error_code&) {
        m_key.append(_part.data(), _part.size());
        auto& object = m_open.back();
        object.key.swap(m_key);
        m_key.clear();
        if (!object.names.insert(object.key).second) {
            repeated.push_back(member_path(object));
        }
        return true;
    }
    bool on_string_part(json::string_view, std::size_t, json::error_code&) { return true; }
    bool on_string(json::string_view, std::size_t, json::error_code&) { return scalar(); }
    bool on_number_part(json::string_view, json::error_code&) { return true; }
    bool on_int64(std::int64_t, json::string_view, json::error_code&) { return scalar(); }
    bool on_uint64(std::uint64_t, json::string_view, json::error_code&) { return scalar(); }
    bool on_double(double, json::string_view, json::error_code&) { return scalar(); }
    bool on_bool(bool, json::error_code&) { return scalar(); }
    bool on_null(json::error_code&) { return scalar(); }
    bool on_comment_part(json::string_view, json::error_code&) { return true; }
    bool on_comment(json::string_view, json::error_code&) { return true; }

private:
    struct container {
        bool is_object;
        std::string path;
        // Of an object: its names so far, and the one whose value comes next.
        std::set<std::string> names;
        std::string key;
        // Of an array: its elements so far.
        std::size_t elements = 0;
    };

    static std::string member_path(const container& _object) {
        return _object.path.empty() ? _object.key : _object.path + "." + _object.key;
    }

    // The path of the value that starts now, counted as its array's next element.
    std::string next_path() {
        if (m_open.empty()) {
            return {};
        }
        auto& parent = m_open.back();
        if (parent.is_object) {
            return member_path(parent);
        }
        return parent.path + "[" + std::to_string(parent.elements++) + "]";
    }

    bool open(bool _object) {
        auto path = next_path();
        m_open.push_back({_object, std::move(path), {}, {}, 0});
        return true;
    }

    bool close() {
        m_open.pop_back();
        return true;
    }

    bool scalar() {
        if (!m_open.empty() && !m_open.back().is_object) {
            ++m_open.back().elements;
        }
        return true;
    }

    std::vector<container> m_open;
    std::string m_key;
};

// The JSON reader skips it too.
const std::string byte_order_mark = "\xEF\xBB\xBF";

}  // namespace

std::vector<std::string> find_repeated_members(const std::string& _text, std::size_t _max_depth) {
    json::parse_options options;
    options.max_depth = _max_depth;
    options.allow_comments = true;
    options.allow_trailing_commas = true;
    options.allow_invalid_utf8 = true;
    json::basic_parser<member_scan> parser(options);
    const std::size_t start = _text.rfind(byte_order_mark, 0) == 0 ? byte_order_mark.size() : 0;
    json::error_code ignored;
    // The events before a place this reading refuses have been seen, and the value the JSON
    // reader made of the text is not in question: the error tells nothing more.
    parser.write_some(false, _text.data() + start, _text.size() - start, ignored);
    return std::move(parser.handler().repeated);
}

}  // namespace zel::libs::config
