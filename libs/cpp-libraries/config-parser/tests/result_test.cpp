#include <config/result.h>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

#include <string>
#include <tuple>

using namespace zel::libs::config;

namespace {

const result<std::string> text(std::string("tcp://a"));
const result<int> number(7);
const result<std::string> text_missing(error_reason{"no text"});
const result<int> number_missing(error_reason{"no number"});

}  // namespace

TEST(result, success_holds_the_value_and_no_reason) {
    EXPECT_TRUE(text.ok());
    EXPECT_EQ(text.try_get(), std::string("tcp://a"));
    EXPECT_EQ(text.value(), "tcp://a");
    EXPECT_EQ(text.reason(), "");
}

TEST(result, failure_holds_the_reason_and_refuses_the_value) {
    EXPECT_FALSE(text_missing.ok());
    EXPECT_FALSE(text_missing.try_get());
    EXPECT_EQ(text_missing.reason(), "no text");
    try {
        text_missing.value();
        FAIL() << "value() of a failure returned";
    } catch (const boost::bad_optional_access& _error) {
        EXPECT_STREQ(_error.what(),
                     "Attempted to access the value of an uninitialized optional object.");
    }
}

TEST(result, sum_pairs_values_or_collects_reasons_left_first) {
    EXPECT_EQ((text + number).value(), std::make_tuple(std::string("tcp://a"), 7));
    EXPECT_EQ((text_missing + number).reason(), "no text");
    EXPECT_EQ((text + number_missing).reason(), "no number");
    EXPECT_EQ((text_missing + number_missing).reason(), "no text\nno number");
    EXPECT_EQ((number_missing + text_missing).reason(), "no number\nno text");
}
