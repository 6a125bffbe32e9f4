#include <core/source_location.h>

#include <core/constants.h>

#include <algorithm>

namespace zel {
namespace libs {
namespace core {

source_location::source_location()
    : m_line(0), m_file("unknown file"), m_function("unknown function") {}

source_location::source_location(long _line, boost::string_view _file, boost::string_view _function)
    : m_line(_line), m_file(_file), m_function(_function) {}

source_location::source_location(long _line, boost::string_view _file, boost::string_view _function,
                                 boost::string_view _source_directory)
    : m_line(_line), m_file(_file), m_function(_function), m_source_directory(_source_directory) {}

boost::string_view source_location::short_file() const {
    return remove_directory_prefix(m_file);
}

boost::string_view source_location::remove_directory_prefix(boost::string_view _path) const {
    for (auto directory : {m_source_directory, boost::string_view(constants::source_directory)}) {
        while (!directory.empty() && directory.back() == '/') {
            directory.remove_suffix(1);
        }
        // A whole directory: "/tmp/app" is no prefix of "/tmp/app2/main.cpp".
        if (!directory.empty() && _path.starts_with(directory) &&
            _path.substr(directory.size()).starts_with('/')) {
            return _path.substr(directory.size());
        }
    }
    return _path;
}

boost::string_view source_location::short_function() const {
    static constexpr boost::string_view namespace_root = "zel::";
    const auto& f = m_function;
    if (f.empty()) {
        return f;
    }
    const auto parenthesis = f.find('(');
    if (parenthesis == boost::string_view::npos || f.size() < namespace_root.size()) {
        return f;
    }
    const auto start =
        f.rfind(namespace_root, std::min(parenthesis, f.size() - namespace_root.size()));
    if (start == boost::string_view::npos) {
        return f;
    }
    return f.substr(start, parenthesis - start);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
