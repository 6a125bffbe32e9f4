#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/format.hpp>
#include <boost/system/error_code.hpp>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Records whose formats are read once and rendered without Boost.Format read
// as Boost.Format renders them, the rules of the logger about unmatched
// arguments included.
class record_format : public test_support::connected_logger {
protected:
    template <class... Arguments>
    void expect_as_boost(const char* _format, const Arguments&... _arguments) {
        for (int round = 0; round < 2; ++round) {  // the second finds the format read
            (logger.info(_format) % ... % _arguments);
            EXPECT_EQ(next_body(), boost_text(_format, _arguments...)) << _format;
        }
    }

private:
    template <class... Arguments>
    static std::string boost_text(const char* _format, const Arguments&... _arguments) {
        boost::format format;
        format.exceptions(boost::io::all_error_bits ^
                          (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
        try {
            format.parse(_format);
        } catch (const boost::io::format_error&) {
            return _format;
        }
        static_cast<void>((format % ... % _arguments));
        return format.fed_args() == 0 && format.expected_args() > 0 ? _format : format.str();
    }
};

enum colour { red = 3 };

TEST_F(record_format, every_argument_type_of_the_callers_reads_as_with_boost_format) {
    const std::string text = "text";
    expect_as_boost("%1%|%2%|%3%|%4%", 42, -7, std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::uint64_t>::max());
    expect_as_boost("%1%|%2%|%3%", static_cast<short>(-3), 4000000000u, std::size_t{17});
    expect_as_boost("%1%|%2%|%3%|%4%|%5%", 'x', static_cast<signed char>('y'),
                    static_cast<unsigned char>(65), true, false);
    expect_as_boost("%1%|%2%|%3%|%4%", 3.14159265, 1e20, -0.1f, red);
    expect_as_boost("%1%|%2%|%3%|%4%|%5%", text, "literal", text.c_str(),
                    boost::string_view("boost view"), std::string_view("std view"));
    expect_as_boost("%1%|%2%", std::string(), std::string(300, 'z'));
    expect_as_boost("%1%: %2%", make_error_code(boost::system::errc::connection_refused),
                    boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("::1"), 80));
}

TEST_F(record_format, placeholders_directives_and_unmatched_arguments_read_as_with_boost_format) {
    expect_as_boost("no placeholder");
    expect_as_boost("50%% off %1%", 1);
    expect_as_boost("%2% before %1%, %1% again", "one", "two");
    expect_as_boost("%1%%2%%3%%4%%5%%6%%7%%8%%9%%10%%11%", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
    expect_as_boost("%17% beyond the kept ones", 1);
    expect_as_boost("%01% %d %s|%5d|%-4s|%|6|%x", 1, 2, 3, 4, 5, 6, 255);
    expect_as_boost("%1% and %2%", "fewer");
    expect_as_boost("%1%", "more", "than", "placeholders");
    expect_as_boost("%1%");
    expect_as_boost("100% done");
    expect_as_boost("%1% at 100%", "x");
    expect_as_boost("trailing %", 1);
}

// On each path a format takes: read and kept by the thread, read for the record
// alone (too long to keep), Boost.Format's directives fed and unfed.
TEST_F(record_format, a_record_kept_past_the_string_of_its_format_renders_its_own_copy) {
    const std::string long_text(5000, 'x');
    const struct {
        std::string format;
        bool fed;
        std::string body;
    } cases[] = {{"kept %1% past its string", true, "kept 1 past its string"},
                 {"%1% " + long_text, true, "1 " + long_text},
                 {"%d kept past its string", true, "1 kept past its string"},
                 {"100% kept past its string", false, "100% kept past its string"},
                 {"%1% kept past its string", false, "%1% kept past its string"}};
    for (const auto& c : cases) {
        {
            auto record = logger.info(std::string(c.format));
            const std::string reuse(c.format.size(), '#');  // the freed block, in a release build
            if (c.fed) {
                record % 1;
            }
        }
        EXPECT_EQ(next_body(), c.body) << c.format;
    }
}

TEST_F(record_format, a_record_reads_its_own_format_while_its_argument_logs_others) {
    std::string buffer = "outer %1%";
    {
        auto outer = logger.info(buffer);
        outer % [&] {
            buffer = "inner %1%";
            logger.info(buffer) % "a";
            // More than the thread keeps: what it kept goes.
            std::vector<std::string> others;
            for (int i = 0; i < 200; ++i) {
                others.push_back(std::to_string(i) + std::string(4000, '.'));
            }
            for (const std::string& other : others) {
                logger.info(other);
            }
            return "b";
        }();
    }
    const std::vector<std::string> bodies = next_bodies(202);
    EXPECT_EQ(bodies.front(), "inner a");
    EXPECT_EQ(bodies.back(), "outer b");
}

}  // namespace
