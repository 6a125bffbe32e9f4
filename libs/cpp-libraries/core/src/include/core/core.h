#pragma once

#include <core/events_loop.h>

#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

class logger;

// Made once per process from the process logger; makes the events loops. It
// must outlive every loop it made.
class core {
public:
    using ptr = std::unique_ptr<core>;

    static ptr create(const logger& _logger);

    virtual ~core() = default;

    virtual events_loop::ptr create_events_loop(const std::string& _name) = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
