#include <core/check_failed_exception.h>
#include <core/constants.h>
#include <core/exception.h>
#include <core/exception_to_string.h>
#include <core/source_location.h>

#include <gtest/gtest.h>

#include <list>
#include <stdexcept>
#include <string>
#include <vector>

namespace core = zel::libs::core;

namespace zel {
namespace libs {
namespace test_scope {
struct widget {
    core::source_location where() const { return ZEL_LOCATION; }
    core::source_location from_lambda() const {
        return [] { return ZEL_LOCATION; }();
    }
};
}  // namespace test_scope
}  // namespace libs
}  // namespace zel

namespace {

std::string text(boost::string_view _view) {
    return std::string(_view);
}

TEST(source_location, default_location_names_nothing) {
    const core::source_location location;
    EXPECT_EQ(location.line(), 0);
    EXPECT_EQ(location.file(), "unknown file");
    EXPECT_EQ(location.function(), "unknown function");
}

TEST(source_location, short_file_cuts_only_a_directory_the_path_lies_in) {
    EXPECT_EQ(text(ZEL_LOCATION.short_file()),
              "/libs/cpp-libraries/core/tests/exceptions/source_location_test.cpp");

    const auto& root = core::constants::source_directory;
    struct shortening {
        std::string directory;
        std::string path;
        std::string short_file;
    };
    const std::vector<shortening> cases = {
        {"/tmp/app", "/tmp/app/src/main.cpp", "/src/main.cpp"},
        {"/tmp/app/", "/tmp/app/main.cpp", "/main.cpp"},
        {"/tmp/app", "/tmp/app2/main.cpp", "/tmp/app2/main.cpp"},
        {"/tmp/app", root + "/src/x.cpp", "/src/x.cpp"},
        {"", root + "2/x.cpp", root + "2/x.cpp"},
        {"", root.substr(0, 3), root.substr(0, 3)},
        {"", "main.cpp", "main.cpp"},
    };
    for (const auto& c : cases) {
        const core::source_location location(1, c.path, "f", c.directory);
        EXPECT_EQ(text(location.short_file()), c.short_file) << c.directory << " " << c.path;
    }
}

TEST(source_location, short_function_of_real_signatures) {
    const zel::libs::test_scope::widget w;
    EXPECT_EQ(text(w.where().short_function()), "zel::libs::test_scope::widget::where");
    EXPECT_EQ(text(w.from_lambda().short_function()), "zel::libs::test_scope::widget::from_lambda");

    const core::source_location in_main(1, "f", "int main(int, char**)");
    EXPECT_EQ(in_main.short_function(), "int main(int, char**)");
    const core::source_location no_parenthesis(1, "f", "zel::x");
    EXPECT_EQ(no_parenthesis.short_function(), "zel::x");
    const core::source_location empty(1, "f", "");
    EXPECT_EQ(empty.short_function(), "");
    const core::source_location templated(
        1, "f", "void zel::libs::core::timer_impl::on_wait(std::vector<zel::x>)");
    EXPECT_EQ(templated.short_function(), "zel::libs::core::timer_impl::on_wait");
}

// A location's views outlive the test like the literals they normally refer to.
boost::string_view in_tree(const char* _relative) {
    static std::list<std::string> paths;
    return paths.emplace_back(core::constants::source_directory + _relative);
}

TEST(exceptions, what_reads_short_file_line_and_message) {
    const core::source_location location(-12, in_tree("/src/x.cpp"), "f");
    EXPECT_STREQ(core::located_exception(location).what(), "/src/x.cpp:-12");
    EXPECT_STREQ(core::exception("boom", location).what(), "/src/x.cpp:-12 boom");
    EXPECT_STREQ(core::exception("", location).what(), "/src/x.cpp:-12 ");
}

TEST(exceptions, check_throws_with_the_condition_text_and_location) {
    const int answer = 41;
    try {
        ZEL_CHECK(answer == 42);
        FAIL() << "the check did not throw";
    } catch (const core::check_failed_exception& e) {
        EXPECT_EQ(e.get_string_error(), "check failed: answer == 42");
        EXPECT_EQ(text(e.get_source_location().short_file()),
                  "/libs/cpp-libraries/core/tests/exceptions/source_location_test.cpp");
    }
    EXPECT_NO_THROW(ZEL_CHECK(answer == 41));
}

template <class E>
std::string text_of_thrown(E&& _exception) {
    try {
        throw std::forward<E>(_exception);
    } catch (...) {
        return core::exception_to_string();
    }
}

TEST(exceptions, exception_to_string_of_the_three_kinds) {
    const core::source_location location(7, in_tree("/a.cpp"), "f");
    EXPECT_EQ(text_of_thrown(core::exception("m", location)), "/a.cpp:7 m");
    EXPECT_EQ(text_of_thrown(core::located_exception(location)), "/a.cpp:7");
    EXPECT_EQ(text_of_thrown(std::runtime_error("x")), "std::exception::what(): x");
    EXPECT_EQ(text_of_thrown(42), "Unknown exception");
    EXPECT_EQ(core::exception_to_string(core::exception("m", location)), "/a.cpp:7 m");
}

}  // namespace
