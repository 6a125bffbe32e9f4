#pragma once

#include <core/iteration_result.h>
#include <core/redis/command.h>

#include <boost/utility/string_view.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// One Redis server and database, over a blocking and a non-blocking
// connection. Each typed operation builds its command unexecuted; the caller
// may add arguments, then executes it. Meant for the thread of the loop that
// created the context.
class context {
public:
    using args = std::vector<std::string>;
    // Returns false to stop a scan.
    using callback = std::function<bool(boost::string_view)>;

    virtual ~context() = default;

    virtual command::ptr get(std::string _key) = 0;
    virtual command::ptr set(std::string _key, std::string _value) = 0;
    virtual command::ptr del(std::string _key) = 0;
    // Members are added with add_argument.
    virtual command::ptr add_to_set(std::string _key) = 0;
    virtual command::ptr add_to_set(std::string _key, std::string _value) = 0;
    virtual command::ptr remove_from_set(std::string _key, std::string _value) = 0;
    virtual command::ptr get_set_members(std::string _key) = 0;
    virtual command::ptr get_table(std::string _table) = 0;
    virtual command::ptr get_from_table(std::string _table, std::string _field) = 0;
    // Fields are added with add_argument.
    virtual command::ptr get_from_table_multi(std::string _table) = 0;
    virtual command::ptr set_to_table(std::string _table, std::string _field,
                                      std::string _value) = 0;
    // Field and value pairs are added with add_argument.
    virtual command::ptr set_to_table_multi(std::string _table) = 0;
    virtual command::ptr increment_in_table(std::string _table, std::string _field,
                                            std::string _value) = 0;
    virtual command::ptr delete_from_table(std::string _table, std::string _field) = 0;

    // Visits, blocking, every key matching _pattern until _callback returns
    // false; the view is valid only during the call.
    virtual iteration_result scan(boost::string_view _pattern, callback _callback) = 0;

    virtual command::ptr create_command(args _args) = 0;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
