#pragma once

#include <boost/utility/string_view.hpp>

#include <cstdint>

namespace zel {
namespace libs {
namespace core {

// A place in the source: line, file path and the compiler's full function
// signature. The views refer to string literals, so a location is cheap to copy.
class source_location {
public:
    source_location();
    source_location(long _line, boost::string_view _file, boost::string_view _function);
    // _source_directory: the top source directory of the project whose code holds the place
    // (no trailing separator needed), or empty.
    source_location(long _line, boost::string_view _file, boost::string_view _function,
                    boost::string_view _source_directory);

    std::int64_t line() const { return m_line; }
    boost::string_view file() const { return m_file; }
    boost::string_view function() const { return m_function; }

    // The file relative to the source directory it lies in, its own project's
    // or else the library's: a file of either tree reads "/src/main.cpp". Any
    // other path stays whole.
    boost::string_view short_file() const;
    boost::string_view remove_directory_prefix(boost::string_view _path) const;

    // The qualified name of the function, without return type and parameters.
    boost::string_view short_function() const;

private:
    std::int64_t m_line;
    boost::string_view m_file;
    boost::string_view m_function;
    boost::string_view m_source_directory;
};

}  // namespace core
}  // namespace libs
}  // namespace zel

// The location of the place where it is written. A file compiled with ZEL_SOURCE_DIRECTORY
// defined as a string literal (a target linked to zel::core gets it from CMake) has its
// locations shortened relative to that directory.
#ifdef ZEL_SOURCE_DIRECTORY
#define ZEL_LOCATION                                                            \
    ::zel::libs::core::source_location(__LINE__, __FILE__, __PRETTY_FUNCTION__, \
                                       ZEL_SOURCE_DIRECTORY)
#else
#define ZEL_LOCATION ::zel::libs::core::source_location(__LINE__, __FILE__, __PRETTY_FUNCTION__)
#endif
