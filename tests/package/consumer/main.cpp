#include <config/config.h>
#include <core/core.h>
#include <core/logger.h>

#include <sstream>

// Uses each installed library once: a failure to link or to run fails the test. Its last record
// names this file, which the test looks for in its output.
int main() {
    zel::libs::core::logger logger("consumer", "main");
    const auto core = zel::libs::core::core::create(logger);
    const auto loop = core->create_events_loop("main");
    std::istringstream document(R"({"system": {"name": "consumer"}})");
    const auto config = zel::libs::config::config::create<zel::libs::config::type::json>(document);
    const auto name = config->get_by_path<std::string>({"system", "name"});
    bool ran = false;
    loop->post([&] { ran = name.ok() && name.value() == "consumer"; }, ZEL_LOCATION);
    loop->run();
    logger.info("consumer ran").location(ZEL_LOCATION);
    return ran ? 0 : 1;
}
