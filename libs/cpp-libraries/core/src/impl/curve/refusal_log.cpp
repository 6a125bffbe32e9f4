#include <core/impl/curve/refusal_log.h>

namespace zel {
namespace libs {
namespace core {
namespace curve {
namespace {

constexpr std::chrono::seconds record_interval(10);

}  // namespace

void refusal_log::refused(reason _reason, const std::string& _peer, const std::string& _why) {
    ++(m_counts.*_reason);
    const auto now = std::chrono::steady_clock::now();
    if (now < m_next_record) {
        ++m_left_out;
        return;
    }
    m_next_record = now + record_interval;
    m_logger.warning("Refused %1%: %2% (%3% more refused since the last such record)") % _peer %
        _why % m_left_out;
    m_left_out = 0;
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
