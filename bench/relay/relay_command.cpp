#include "relay_command.h"

#include <fstream>
#include <stdexcept>

namespace relay_bench {

const char* relay_name(relay_kind _kind) {
    switch (_kind) {
        case relay_kind::vandrel:
            return "vandrel";
        case relay_kind::zmq_proxy:
            return "zmq_proxy";
        case relay_kind::vandrel_curve:
            return "vandrel CURVE";
    }
    return "?";
}

std::vector<std::string> relay_command(relay_kind _kind, const endpoints& _endpoints,
                                       const scratch_dir& _dir, int _run) {
    if (_kind == relay_kind::zmq_proxy) {
        return {ZMQ_PROXY_RELAY_PATH, _endpoints.input, _endpoints.output};
    }
    const std::string config_path = _dir.path("run" + std::to_string(_run) + ".json");
    std::ofstream config(config_path);
    config << R"({"system": {"input_address": ")" << _endpoints.input << R"(", "output_address": ")"
           << _endpoints.output << '"';
    if (!_endpoints.metrics.empty()) {
        config << R"(, "metrics_address": ")" << _endpoints.metrics << '"';
    }
    if (!_endpoints.history.empty()) {
        config << R"(, "history_address": ")" << _endpoints.history << '"';
    }
    if (_kind == relay_kind::vandrel_curve) {
        config << R"(, "curve": {"secret_key_file": ")" << _dir.path("relay.key")
               << R"(", "clients_directory": ")" << _dir.path("clients") << R"("})";
    }
    config << "}}\n";
    if (!config.flush()) {
        throw std::runtime_error("cannot write " + config_path);
    }
    return {VANDREL_PATH, "-c", config_path};
}

}  // namespace relay_bench
