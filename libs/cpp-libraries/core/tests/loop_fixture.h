#pragma once

#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>

#include <gtest/gtest.h>

#include <chrono>

// A process logger, a core and one loop, as a service has them.
struct loop_fixture : ::testing::Test {
    zel::libs::core::logger logger{"vandrel", "main"};
    zel::libs::core::core::ptr the_core = zel::libs::core::core::create(logger);
    zel::libs::core::events_loop::ptr loop = the_core->create_events_loop("main");

    // Runs handlers one at a time until _done() holds or the loop has no work
    // left, for at most 1000 handlers and 5 seconds of waiting for each;
    // returns _done().
    template <class F>
    bool run_until(F _done) {
        auto& io_context = loop->get_io_context();
        for (int i = 0; i < 1000 && !_done(); ++i) {
            if (io_context.run_one_for(std::chrono::seconds(5)) == 0) {
                break;
            }
        }
        return _done();
    }

    // True once the loop has run out of work within those bounds.
    bool run_out() {
        return run_until([this] { return loop->is_stopped(); });
    }
};
