#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/format.hpp>
#include <boost/system/error_code.hpp>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

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

}  // namespace
