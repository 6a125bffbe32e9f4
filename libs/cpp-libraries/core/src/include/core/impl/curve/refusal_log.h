#pragma once

#include <core/component_logger.h>
#include <core/curve/zap_handler.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// Counts refused peers by reason and logs them as warnings, at most one record per interval: a
// peer that retries without pause, or many of them, must not flood the log. A record counts those
// left out before it.
class refusal_log {
public:
    using reason = std::uint64_t zap_handler::refusals::*;

    explicit refusal_log(const component_logger& _logger) : m_logger(_logger) {}

    void refused(reason _reason, const std::string& _peer, const std::string& _why);
    const zap_handler::refusals& counts() const { return m_counts; }

private:
    const component_logger& m_logger;
    zap_handler::refusals m_counts;
    std::chrono::steady_clock::time_point m_next_record{};
    std::uint64_t m_left_out = 0;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
