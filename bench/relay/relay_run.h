#pragma once

#include "cores.h"
#include "curve_keys.h"
#include "endpoints.h"
#include "options.h"
#include "relay_command.h"
#include "relay_process.h"
#include "scratch_dir.h"

#include <stdexcept>
#include <string>

namespace relay_bench {

// Starts _relay on fresh endpoints of _transport, on the relay core, and returns
// _body(relay_process&, const endpoints&). The relay is killed on any way out that _body did
// not stop it on, and a failure's message tells which relay and run failed and what the relay
// wrote.
// With _metrics, vandrel serves its counters at the endpoints' metrics address.
template <typename Body>
auto with_relay(relay_kind _relay, transport _transport, const scratch_dir& _dir, int _run,
                Body&& _body, bool _metrics = false, bool _history = false) {
    endpoints relay_endpoints = make_endpoints(_transport, _dir, _run, _metrics, _history);
    if (_relay == relay_kind::vandrel_curve) {
        add_curve_keys(relay_endpoints, _dir);
    }
    relay_process relay(relay_command(_relay, relay_endpoints, _dir, _run), relay_core,
                        _dir.path("run" + std::to_string(_run) + ".log"));
    try {
        return _body(relay, relay_endpoints);
    } catch (const std::exception& error) {
        throw std::runtime_error(std::string(relay_name(_relay)) + ", run " + std::to_string(_run) +
                                 ": " + error.what() + "\n" + relay.describe());
    }
}

}  // namespace relay_bench
