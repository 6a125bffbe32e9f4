#include <core/core.h>
#include <core/logger.h>

#include <test_support/child_process.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

namespace core = zel::libs::core;

namespace {

TEST(core, once_made_a_write_nobody_reads_fails_instead_of_killing_the_process) {
    const auto result = test_support::run_in_child([] {
        core::logger logger("vandrel", "main");
        const auto the_core = core::core::create(logger);
        int ends[2];
        if (pipe(ends) != 0) {
            return 2;
        }
        close(ends[0]);
        return write(ends[1], "x", 1) < 0 && errno == EPIPE ? 0 : 1;
    });
    EXPECT_TRUE(result.exited) << "signal " << result.term_signal;
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
