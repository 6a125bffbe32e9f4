#pragma once

#include <core/located_exception.h>

#include <string>

namespace zel {
namespace libs {
namespace core {

// A located exception with a message: what() reads "file:line message".
class exception : public located_exception {
public:
    exception(std::string _message, source_location _source_location);
    ~exception() override = default;

    std::ostream& describe(std::ostream& _os) const override;

    const std::string& get_string_error() const { return m_str_error; }

private:
    std::string m_str_error;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
