// What the history endpoint reads from a reader's request line.
#include "history/history_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using action = zel::history_request::action;

TEST(history_request, reads_each_request_and_refuses_anything_else) {
    struct case_t {
        std::string line;
        action what;
        std::uint64_t number;
        std::string identity;
    };
    for (const auto& expected :
         std::vector<case_t>{{"ping", action::ping, 0, ""},
                             {"last 10", action::last, 10, ""},
                             {"after 0123abcd 42", action::after, 42, "0123abcd"},
                             {"read 65536", action::read, 65536, ""},
                             {"bye", action::bye, 0, ""},
                             {"read", action::invalid, 0, ""},
                             {"last", action::invalid, 0, ""},
                             {"last -1", action::invalid, 0, ""},
                             {"last 99999999999999999999", action::invalid, 0, ""},
                             {"after x 1 2", action::invalid, 0, ""},
                             {"ping ", action::invalid, 0, ""},
                             {"", action::invalid, 0, ""}}) {
        const auto request = zel::history_request::parse(expected.line);
        EXPECT_EQ(request.what, expected.what) << expected.line;
        if (request.what == action::invalid) {
            EXPECT_NE(request.error, "") << expected.line;
            continue;
        }
        EXPECT_EQ(request.number, expected.number) << expected.line;
        EXPECT_EQ(request.identity, expected.identity) << expected.line;
    }
}

}  // namespace
