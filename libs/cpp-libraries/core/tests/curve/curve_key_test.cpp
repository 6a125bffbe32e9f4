#include <core/curve/client_keys.h>
#include <core/curve/key_file.h>
#include <core/curve/key_pair.h>
#include <core/exception.h>

#include <test_support/scratch_directory.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace curve = zel::libs::core::curve;

namespace {

struct curve_key_test : ::testing::Test {
    test_support::scratch_directory directory{"curve-key-test"};

    std::string write(const std::string& _name, const std::string& _contents) {
        std::ofstream(directory.path(_name)) << _contents;
        return directory.path(_name);
    }
};

TEST_F(curve_key_test, a_written_pair_reads_back_with_a_secret_file_of_mode_0600) {
    const auto pair = curve::key_pair::generate();
    pair.write(directory.path("relay"));

    const auto keys =
        curve::client_keys::read(directory.path("relay.pub"), directory.path("relay"));
    EXPECT_EQ(keys.server_public_key, pair.public_key);
    EXPECT_EQ(keys.own.public_key, pair.public_key);
    EXPECT_EQ(keys.own.secret_key, pair.secret_key);
    struct stat status {};
    ASSERT_EQ(stat(directory.path("relay.key").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600U);
    EXPECT_THROW(curve::key_pair::generate().write(directory.path("relay")),
                 zel::libs::core::exception);
}

TEST_F(curve_key_test, comment_and_empty_lines_surround_the_key) {
    const auto key = curve::key_pair::generate().public_key;
    EXPECT_EQ(curve::read_key_file(write("a.pub", "# the relay\n\n" + key + "  \r\n# end\n")), key);
}

TEST_F(curve_key_test, a_file_without_exactly_one_z85_key_is_refused_by_name) {
    const auto key = curve::key_pair::generate().public_key;
    const struct {
        const char* name;
        std::string contents;
        const char* reason;
    } cases[] = {
        {"empty.pub", "# nothing\n", "holds no key"},
        {"two.pub", key + "\n" + key + "\n", "holds more than one key"},
        {"short.pub", std::string(39, 'a') + "\n", "holds no Z85 key"},
        {"large.pub", std::string(5000, '#'), "larger than 4096 bytes"},
    };
    for (const auto& item : cases) {
        const auto path = write(item.name, item.contents);
        try {
            curve::read_key_file(path);
            ADD_FAILURE() << item.name << " was read";
        } catch (const zel::libs::core::exception& _error) {
            EXPECT_NE(_error.get_string_error().find("Key file " + path + ": " + item.reason),
                      std::string::npos)
                << _error.get_string_error();
        }
    }
    EXPECT_THROW(curve::read_key_file(directory.path("missing.pub")), zel::libs::core::exception);
}

}  // namespace
