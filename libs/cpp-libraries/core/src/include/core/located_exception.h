#pragma once

#include <core/source_location.h>

#include <exception>
#include <ostream>
#include <string>

namespace zel {
namespace libs {
namespace core {

// The root of the library's exceptions: every one carries the place it was
// thrown from, and its text starts with that place's short file and line.
class located_exception : public std::exception {
public:
    explicit located_exception(source_location _source_location);
    ~located_exception() override = default;

    // Rebuilt from describe() at every call.
    const char* what() const noexcept override;
    virtual std::ostream& describe(std::ostream& _os) const;

    const source_location& get_source_location() const { return m_source_location; }

private:
    source_location m_source_location;
    mutable std::string m_what;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
