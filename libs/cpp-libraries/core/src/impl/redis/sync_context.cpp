#include <core/impl/redis/sync_context.h>

#include <core/exception.h>

#include <sys/time.h>

#include <string>

namespace zel {
namespace libs {
namespace core {
namespace redis {

namespace {

// Only for errors: a command that succeeds does not pay for the copy.
std::string command_name(const std::vector<const char*>& _argv,
                         const std::vector<std::size_t>& _argv_len) {
    return std::string(_argv.at(0), _argv_len.at(0));
}

}  // namespace

sync_context::sync_context(events_loop& _events_loop, const component_logger& _logger,
                           boost::string_view _ip, int _port, int _db)
    : m_events_loop(_events_loop), m_logger(_logger) {
    const timeval timeout{1, 500000};
    m_context_ptr.reset(redisConnectWithTimeout(std::string(_ip).c_str(), _port, timeout));
    if (!m_context_ptr || m_context_ptr->err != 0) {
        throw exception(
            std::string("Connection error: ") +
                (m_context_ptr ? m_context_ptr->errstr : "can't allocate redis context"),
            ZEL_LOCATION);
    }
    const std::string db = std::to_string(_db);
    std::vector<const char*> argv{"SELECT", db.c_str()};
    std::vector<std::size_t> argv_len{6, db.size()};
    run_command(argv, argv_len);
}

reply sync_context::run_command(std::vector<const char*>& _argv,
                                std::vector<std::size_t>& _argv_len) {
    // hiredis keeps the error of a broken connection; another command on it
    // would only read or write garbage.
    if (m_context_ptr->err == 0) {
        auto* const record = static_cast<redisReply*>(redisCommandArgv(
            m_context_ptr.get(), static_cast<int>(_argv.size()), _argv.data(), _argv_len.data()));
        if (record != nullptr) {
            reply result(record);
            if (result.get_type() == reply_type::ERROR) {
                throw exception(
                    "Command: " + command_name(_argv, _argv_len) + ", error: " + result.to_string(),
                    ZEL_LOCATION);
            }
            return result;
        }
    }
    throw exception(
        "Command: " + command_name(_argv, _argv_len) + ", error: " + m_context_ptr->errstr,
        ZEL_LOCATION);
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
