#pragma once

#include <core/component_logger.h>
#include <core/core.h>

namespace zel {
namespace libs {
namespace core {

class core_impl : public core {
public:
    explicit core_impl(const logger& _logger);

    events_loop::ptr create_events_loop(const std::string& _name) override;

private:
    component_logger::ptr m_logger;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
