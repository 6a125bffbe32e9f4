#include "loop_fixture.h"

#include <core/impl/async_operation_handle/async_operation_handle_impl.h>
#include <core/impl/events_loop/events_loop_impl.h>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;

namespace {

template <class T>
using handle_impl = core::async_operation_handle_impl<T>;

template <class B, class = void>
struct brace_constructible : std::false_type {};
template <class B>
struct brace_constructible<B, std::void_t<decltype(B{})>> : std::true_type {};
static_assert(!brace_constructible<core::badge<handle_impl<int>>>::value,
              "only the handle makes its badge");

// An operation that keeps the weak pointer of each start, to finish later.
template <class T>
struct pending_operation {
    std::vector<std::weak_ptr<handle_impl<T>>> starts;

    typename handle_impl<T>::ptr create(core::events_loop& _loop) {
        auto handle = handle_impl<T>::create(
            _loop, [this](typename handle_impl<T>::ptr, std::weak_ptr<handle_impl<T>> _weak) {
                starts.push_back(std::move(_weak));
            });
        handle->start();
        return handle;
    }
    void finish(std::size_t _start, T _result) {
        if (const auto handle = starts.at(_start).lock()) {
            handle->return_result(std::move(_result));
        }
    }
};

using handle_test = loop_fixture;

TEST_F(handle_test, a_result_returned_inside_start_reaches_a_callback_set_afterwards) {
    auto handle = handle_impl<int>::create(
        *loop, [](handle_impl<int>::ptr _handle, std::weak_ptr<handle_impl<int>>) {
            _handle->return_result(42);
        });
    handle->start();
    core::async_operation_handle<int>::ptr owned = handle;
    EXPECT_TRUE(owned->is_complete());
    std::vector<int> results;
    owned->set_callback([&](int _result) { results.push_back(_result); });
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(run_out());
    EXPECT_EQ(results, std::vector<int>{42});
}

TEST_F(handle_test, restart_delivers_a_second_result_to_the_same_callback) {
    pending_operation<int> operation;
    auto handle = operation.create(*loop);
    std::vector<int> results;
    handle->set_callback([&](int _result) { results.push_back(_result); });
    EXPECT_FALSE(handle->is_complete());
    operation.finish(0, 1);
    EXPECT_TRUE(handle->is_complete());
    EXPECT_TRUE(run_out());
    loop->get_io_context().restart();

    handle->restart();
    EXPECT_FALSE(handle->is_complete());
    ASSERT_EQ(operation.starts.size(), 2u);
    operation.finish(1, 2);
    EXPECT_TRUE(handle->is_complete());
    EXPECT_TRUE(run_out());
    EXPECT_EQ(results, (std::vector<int>{1, 2}));
}

// A real loop whose post() returns only once the callback has restarted the
// handle: the worst moment for the rest of return_result to run.
struct restart_awaiting_loop : core::events_loop_impl {
    using events_loop_impl::events_loop_impl;
    void post(std::function<void()> _function, core::source_location _location) override {
        events_loop_impl::post(std::move(_function), _location);
        for (int i = 0; i < 5000 && !restarted; ++i) {
            std::this_thread::sleep_for(1ms);
        }
    }
    std::atomic<bool> restarted{false};
};

TEST_F(handle_test, a_handle_restarted_by_its_callback_runs_until_the_next_result) {
    const auto component = logger.component("core");
    restart_awaiting_loop awaiting(*the_core, *component);
    std::weak_ptr<handle_impl<int>> first_start;
    int starts = 0;
    auto handle = handle_impl<int>::create(
        awaiting, [&](handle_impl<int>::ptr, std::weak_ptr<handle_impl<int>> _weak) {
            first_start = std::move(_weak);
            ++starts;
        });
    handle->start();
    handle->set_callback([&](int) {
        handle->restart();
        awaiting.restarted = true;
    });
    const auto work = awaiting.create_work();
    std::thread worker([weak = first_start] { weak.lock()->return_result(1); });
    for (int turn = 0; turn < 100 && !awaiting.restarted; ++turn) {
        awaiting.get_io_context().run_one_for(5s);
    }
    worker.join();
    EXPECT_EQ(starts, 2);
    EXPECT_FALSE(handle->is_complete());
}

TEST_F(handle_test, a_handle_dropped_before_delivery_never_calls_back_and_drops_the_result) {
    pending_operation<std::shared_ptr<int>> operation;
    auto handle = operation.create(*loop);
    bool called = false;
    handle->set_callback([&](std::shared_ptr<int>) { called = true; });
    auto result = std::make_shared<int>(7);
    const std::weak_ptr<int> watch = result;
    operation.finish(0, std::move(result));
    handle.reset();
    operation.finish(0, std::make_shared<int>(8));  // the operation finds no handle
    EXPECT_TRUE(run_out());
    EXPECT_FALSE(called);
    EXPECT_TRUE(watch.expired());
}

TEST_F(handle_test, a_move_only_result_arrives_intact_from_another_thread) {
    using result = boost::optional<std::unique_ptr<std::string>>;
    pending_operation<result> operation;
    auto handle = operation.create(*loop);
    result received;
    handle->set_callback([&](result _result) { received = std::move(_result); });
    auto payload = std::make_unique<std::string>("payload");
    const std::string* const address = payload.get();
    std::thread worker([&] { operation.finish(0, result(std::move(payload))); });
    worker.join();
    EXPECT_TRUE(run_out());
    ASSERT_TRUE(received && *received);
    EXPECT_EQ(received->get(), address);
    EXPECT_EQ(**received, "payload");
}

TEST_F(handle_test, results_from_many_worker_threads_all_arrive_on_the_loop_thread) {
    constexpr int threads = 8;
    constexpr int per_thread = 50;
    std::vector<pending_operation<int>> operations(threads);
    std::vector<handle_impl<int>::ptr> handles;
    std::set<int> results;
    bool all_on_loop_thread = true;
    const auto loop_thread = std::this_thread::get_id();
    for (int i = 0; i < threads * per_thread; ++i) {
        handles.push_back(operations[i % threads].create(*loop));
        handles.back()->set_callback([&](int _result) {
            all_on_loop_thread = all_on_loop_thread && std::this_thread::get_id() == loop_thread;
            results.insert(_result);
        });
    }
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            while (!go) {
                std::this_thread::yield();
            }
            for (int i = 0; i < per_thread; ++i) {
                operations[t].finish(i, t * per_thread + i);
            }
        });
    }
    auto work = loop->create_work();
    go = true;
    const bool all_arrived =
        run_until([&] { return results.size() == std::size_t(threads * per_thread); });
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_TRUE(all_arrived);
    EXPECT_TRUE(all_on_loop_thread);
    EXPECT_EQ(results.size(), std::size_t(threads * per_thread));
    EXPECT_EQ(*results.begin(), 0);
    EXPECT_EQ(*results.rbegin(), threads * per_thread - 1);
}

TEST_F(handle_test, a_callback_that_ignores_the_result_or_none_at_all) {
    pending_operation<int> operation;
    auto handle = operation.create(*loop);
    int calls = 0;
    handle->set_callback(std::function<void()>([&] { ++calls; }));
    operation.finish(0, 1);
    EXPECT_TRUE(run_out());
    EXPECT_EQ(calls, 1);
    loop->get_io_context().restart();

    handle->set_callback(std::function<void()>());
    handle->restart();
    operation.finish(1, 2);
    EXPECT_TRUE(run_out());  // dropped silently
    EXPECT_EQ(calls, 1);
}

TEST_F(handle_test, a_callback_may_replace_itself) {
    pending_operation<int> operation;
    auto handle = operation.create(*loop);
    std::vector<std::string> seen;
    handle->set_callback([&, name = std::string(64, 'a')](int) {
        handle->set_callback([&](int) { seen.push_back("second"); });
        seen.push_back(name);  // the replaced callback's state, still in use
    });
    operation.finish(0, 1);
    EXPECT_TRUE(run_out());
    loop->get_io_context().restart();
    handle->restart();
    operation.finish(1, 2);
    EXPECT_TRUE(run_out());
    EXPECT_EQ(seen, (std::vector<std::string>{std::string(64, 'a'), "second"}));
}

TEST_F(handle_test, an_empty_start_function_fails_on_start) {
    auto handle = handle_impl<int>::create(*loop, nullptr);
    EXPECT_THROW(handle->start(), std::bad_function_call);
}

}  // namespace
