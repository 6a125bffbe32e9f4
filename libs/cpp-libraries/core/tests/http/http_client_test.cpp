#include "loop_fixture.h"

#include <core/exception.h>
#include <core/http/client.h>

#include <gtest/gtest.h>
#include <test_support/endpoints.h>
#include <test_support/http_server.h>
#include <boost/optional/optional_io.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace http = zel::libs::core::http;
using namespace std::chrono_literals;
using test_support::http_reply;
using test_support::http_request_record;

namespace {

http_reply reply(int _status, std::string _body,
                 std::vector<std::pair<std::string, std::string>> _headers = {},
                 std::chrono::milliseconds _delay = 0ms) {
    http_reply answer;
    answer.status = _status;
    answer.body = std::move(_body);
    answer.headers = std::move(_headers);
    answer.delay = _delay;
    return answer;
}

http_reply stall(const http_request_record&) {
    http_reply answer;
    answer.what = http_reply::fault::never_answer;
    return answer;
}

struct http_client_test : loop_fixture {
    std::unique_ptr<test_support::http_server> server;

    void serve(test_support::http_server::handler _handler = {}) {
        server = std::make_unique<test_support::http_server>(std::move(_handler));
    }

    http::client::ptr client(std::chrono::seconds _timeout = 5s, int _threads = 10,
                             const std::vector<http::method>& _disabled = {}) {
        return loop->create_http_client(server->base_address(), _timeout, _disabled, _threads);
    }

    // Results of asynchronous requests, in delivery order, with the thread they came on.
    std::vector<http::result> delivered;
    std::vector<std::thread::id> delivered_on;
    // Results come from other threads: the loop is held until they have all arrived.
    bool await_delivered(std::size_t _count) {
        const auto work = loop->create_work();
        loop->get_io_context().restart();
        return run_until([&] { return delivered.size() >= _count; });
    }
    http::client::callback collect() {
        return [this](http::result _result) {
            delivered.push_back(std::move(_result));
            delivered_on.push_back(std::this_thread::get_id());
        };
    }
};

TEST_F(http_client_test, method_names_are_the_families_own_and_other_values_throw) {
    EXPECT_STREQ(http::to_string(http::method::get), "GET");
    EXPECT_STREQ(http::to_string(http::method::post), "POST");
    EXPECT_STREQ(http::to_string(http::method::put), "PUT");
    EXPECT_STREQ(http::to_string(http::method::del), "DEL");
    try {
        http::to_string(http::method::_count);
        ADD_FAILURE() << "no exception";
    } catch (const zel::libs::core::exception& _error) {
        EXPECT_EQ(_error.get_string_error(), "Unknown enumeration value");
    }
}

TEST_F(http_client_test, a_response_is_data_within_2xx_and_error_otherwise_with_its_code) {
    struct answer {
        int status;
        std::string body;
        bool ok;
    };
    const std::vector<answer> answers{{200, std::string("a\0b", 3), true},
                                      {204, "", true},
                                      {299, "edge", true},
                                      {404, "x", false},
                                      {500, "boom", false}};
    serve([&](const http_request_record& _request) {
        const auto& wanted = answers.at(std::stoul(_request.target.substr(1)));
        return reply(wanted.status, wanted.body);
    });
    const auto requests = client();
    for (std::size_t i = 0; i < answers.size(); ++i) {
        SCOPED_TRACE(answers[i].status);
        const http::result result =
            requests->perform_request(http::method::get, "/" + std::to_string(i));
        EXPECT_EQ(result.ok(), answers[i].ok);
        EXPECT_EQ(result.status_code(), answers[i].status);
        EXPECT_EQ(result.data().has_value(), answers[i].ok);
        EXPECT_EQ(result.error().has_value(), !answers[i].ok);
        EXPECT_EQ(answers[i].ok ? *result.data() : *result.error(), answers[i].body);
    }
}

TEST_F(http_client_test, requests_go_out_as_given_with_a_body_only_when_there_is_one) {
    serve();
    const std::string binary_body("{\"k\":\"\0\xff\"}", 10);
    const auto requests = client();
    requests->perform_request(http::method::get, "/plain");
    requests->perform_request(http::method::post, "/empty");
    requests->perform_request(http::method::put, "/empty");
    requests->perform_request(http::method::del, "/item?id=1", binary_body);
    requests->perform_request(http::method::get, "/with-body", "{}");
    // The same connection, so the same easy handle: nothing of the body stays.
    requests->perform_request(http::method::post, "/after");

    const auto seen = server->requests();
    ASSERT_EQ(seen.size(), 6u);
    const std::vector<std::string> methods{"GET", "POST", "PUT", "DEL", "GET", "POST"};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].method, methods[i]);
        EXPECT_EQ(seen[i].headers.at("user-agent"), "vandrel");
    }
    for (std::size_t i : {0, 1, 2, 5}) {
        EXPECT_EQ(seen[i].headers.count("content-type"), 0u) << seen[i].target;
        EXPECT_EQ(seen[i].body, "");
    }
    EXPECT_EQ(seen[3].target, "/item?id=1");
    EXPECT_EQ(seen[3].body, binary_body);
    EXPECT_EQ(seen[3].headers.at("content-type"), "application/json");
    EXPECT_EQ(seen[4].body, "{}");
}

TEST_F(http_client_test, the_url_is_the_base_address_and_the_request_address_joined_as_they_are) {
    serve();
    struct join {
        std::string base_suffix;
        std::string address;
        std::string target;
    };
    const std::vector<join> joins{
        {"/api", "v1", "/apiv1"}, {"/api/", "/v1", "/api//v1"}, {"", "/v1?a=b", "/v1?a=b"}};
    for (const auto& each : joins) {
        const auto requests =
            loop->create_http_client(server->base_address() + each.base_suffix, 5s, {}, 1);
        requests->perform_request(http::method::get, each.address);
        EXPECT_EQ(server->requests().back().target, each.target);
    }
}

TEST_F(http_client_test, a_disabled_method_answers_200_and_sends_nothing) {
    serve();
    const auto requests = client(5s, 1, {http::method::post, http::method::post});
    const http::result result = requests->perform_request(http::method::post, "/x", "{}");
    EXPECT_EQ(result.status_code(), 200);
    ASSERT_TRUE(result.data());
    EXPECT_EQ(*result.data(), "");
    EXPECT_FALSE(result.error());
    requests->perform_request(http::method::get, "/y");
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].target, "/y");
}

TEST_F(http_client_test, transfer_failures_are_results_without_a_status_code) {
    serve([](const http_request_record& _request) {
        http_reply reply;
        if (_request.target == "/silent") {
            reply.what = http_reply::fault::never_answer;
        } else if (_request.target == "/garbage") {
            reply.what = http_reply::fault::malformed_status_line;
        } else if (_request.target == "/cut") {
            reply.body = std::string(100000, 'c');
            reply.what = http_reply::fault::close_mid_body;
        } else if (_request.target == "/loop") {
            reply.status = 302;
            reply.headers.emplace_back("Location", "/loop");
        }
        return reply;
    });
    const auto requests = client(1s);
    for (const char* address : {"/silent", "/garbage", "/cut", "/loop"}) {
        SCOPED_TRACE(address);
        const http::result result = requests->perform_request(http::method::get, address);
        EXPECT_FALSE(result.status_code());
        EXPECT_FALSE(result.data());
        EXPECT_EQ(result.error().value_or("").rfind("curl_easy_perform failed:", 0), 0u)
            << result.error().value_or("");
    }
    // 30 hops, then the loop is given up.
    EXPECT_LE(server->request_count(), 3u + 31u);

    const auto unreachable = loop->create_http_client(
        "http://127.0.0.1:" + std::to_string(test_support::free_tcp_port()), 1s, {}, 1);
    const http::result refused = unreachable->perform_request(http::method::get, "/");
    EXPECT_FALSE(refused.status_code());
    EXPECT_EQ(refused.error().value_or("").rfind("curl_easy_perform failed:", 0), 0u);
}

TEST_F(http_client_test, answers_and_addresses_that_must_fail_do_so_and_say_why) {
    serve([](const http_request_record& _request) {
        http_reply reply;
        if (_request.target == "/head") {
            reply.what = http_reply::fault::head_cut_short;
        } else if (_request.target == "/endless") {
            reply.what = http_reply::fault::endless_body;
        }
        return reply;
    });
    const auto requests = client(5s, 2);
    requests->set_max_body_size(1 << 20);
    struct failure {
        std::string address;
        std::string error;
    };
    const std::vector<failure> failures{
        {"/head", "curl_easy_perform failed:the response's head was cut short"},
        {"/endless", "curl_easy_perform failed:the response's body is above 1048576 bytes"},
        {std::string("/a\0b", 4), "refused: the address holds a NUL byte"}};
    for (const auto& each : failures) {
        EXPECT_EQ(requests->perform_request(http::method::get, each.address).error(), each.error);
        const auto pending =
            requests->perform_async_request(http::method::get, each.address, collect());
        ASSERT_TRUE(await_delivered(1));
        EXPECT_EQ(delivered.back().error(), each.error);
        delivered.clear();
    }
    EXPECT_EQ(server->request_count(), 4u);

    const auto anywhere = loop->create_http_client("", 5s);
    EXPECT_EQ(anywhere->perform_request(http::method::get, "file:///etc/hostname").error(),
              boost::optional<std::string>("curl_easy_perform failed:Unsupported protocol"));
}

TEST_F(http_client_test, a_time_out_libcurl_cannot_take_is_refused_when_the_client_is_made) {
    serve();
    for (const auto timeout : {-1s, http::client::max_timeout + 1s}) {
        EXPECT_THROW(client(timeout), zel::libs::core::exception) << timeout.count();
    }
    for (const auto timeout : {0s, http::client::max_timeout}) {
        EXPECT_TRUE(client(timeout, 1)->perform_request(http::method::get, "/").ok());
    }
    // With no limit, destruction still ends the transfer that runs 10 s after it began.
    serve(stall);
    auto unlimited = client(0s, 1);
    const auto pending = unlimited->perform_async_request(http::method::get, "/", collect());
    const auto queued = unlimited->perform_async_request(http::method::get, "/", collect());
    for (int i = 0; i < 500 && server->request_count() == 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    const auto start = std::chrono::steady_clock::now();
    unlimited.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    ASSERT_TRUE(await_delivered(2));
    EXPECT_EQ(delivered[0].error().value_or(""),
              "curl_easy_perform failed:aborted, as the client was destroyed");
    EXPECT_EQ(delivered[1].error().value_or(""),
              "refused: the client was destroyed before it was sent");
    EXPECT_EQ(server->request_count(), 1u);
}

TEST_F(http_client_test, redirects_are_followed_and_large_bodies_come_back_whole) {
    const std::string large(50 * 1024 * 1024, 'L');
    serve([&](const http_request_record& _request) {
        if (_request.target == "/moved") {
            return reply(301, "", {{"Location", "/large"}});
        }
        return reply(200, large);
    });
    const auto requests = client();
    http::result result = requests->perform_request(http::method::get, "/moved");
    EXPECT_EQ(result.status_code(), 200);
    const boost::optional<std::string> body = std::move(result).data();
    ASSERT_TRUE(body);
    EXPECT_TRUE(*body == large);
}

TEST_F(http_client_test, connections_and_cookies_are_reused_across_requests) {
    serve([](const http_request_record&) {
        return reply(200, "ok", {{"Set-Cookie", "session=s1; Path=/"}});
    });
    const auto requests = client(5s, 10);
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(requests->perform_request(http::method::get, "/blocking").ok());
    }
    EXPECT_EQ(server->connections_accepted(), 1);
    EXPECT_EQ(server->requests().back().headers.at("cookie"), "session=s1");

    std::vector<http::client::handle> handles;
    for (int i = 0; i < 1000; ++i) {
        handles.push_back(requests->perform_async_request(http::method::get, "/async", collect()));
    }
    EXPECT_TRUE(await_delivered(handles.size()));
    for (const auto& result : delivered) {
        EXPECT_TRUE(result.ok());
    }
    // At most a couple of connections per worker.
    EXPECT_LE(server->connections_accepted(), 1 + 2 * 10);
}

TEST_F(http_client_test, asynchronous_results_arrive_on_the_loop_and_restart_repeats_the_request) {
    serve([](const http_request_record& _request) {
        if (_request.method == "PUT") {
            return reply(201, _request.body);
        }
        return reply(418, "teapot");
    });
    const auto requests = client();
    // The callback is attached after the request started.
    const auto put = requests->perform_async_request(http::method::put, "/p", "{\"a\":1}");
    put->set_callback(collect());
    const auto get = requests->perform_async_request(http::method::get, "/g", collect());
    EXPECT_TRUE(await_delivered(2));
    put->restart();
    EXPECT_TRUE(await_delivered(3));
    ASSERT_EQ(delivered.size(), 3u);
    for (const auto& thread : delivered_on) {
        EXPECT_EQ(thread, std::this_thread::get_id());
    }
    EXPECT_EQ(server->request_count(), 3u);
    int created = 0;
    for (const auto& result : delivered) {
        if (result.status_code() == 201) {
            ++created;
            ASSERT_TRUE(result.data());
            EXPECT_EQ(*result.data(), "{\"a\":1}");
        } else {
            EXPECT_EQ(result.error().value_or(""), "teapot");
        }
    }
    EXPECT_EQ(created, 2);
    EXPECT_TRUE(put->is_complete());
}

TEST_F(http_client_test, an_exception_on_a_worker_becomes_the_requests_error) {
    serve();
    const auto requests = client(5s, 1);
    const auto handle =
        requests->perform_async_request(static_cast<http::method>(7), "/", collect());
    EXPECT_TRUE(await_delivered(1));
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_FALSE(delivered[0].status_code());
    EXPECT_NE(delivered[0].error().value_or("").find("Unknown enumeration value"),
              std::string::npos);
    EXPECT_EQ(server->request_count(), 0u);
}

TEST_F(http_client_test, a_dropped_handle_cancels_a_queued_request_and_discards_a_running_one) {
    std::atomic_int started{0};
    serve([&](const http_request_record&) {
        ++started;
        return reply(200, "late", {}, 300ms);
    });
    auto requests = client(5s, 1);
    std::thread::id released_on;
    std::shared_ptr<void> token(nullptr, [&](void*) { released_on = std::this_thread::get_id(); });
    auto running = requests->perform_async_request(
        http::method::get, "/running",
        [token, deliver = collect()](http::result _result) { deliver(std::move(_result)); });
    token.reset();
    auto queued = requests->perform_async_request(http::method::get, "/queued", collect());
    queued.reset();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (started == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    running.reset();
    // Waits for the transfer in progress.
    requests.reset();
    run_out();
    EXPECT_TRUE(delivered.empty());
    // The callback goes where it would have run, whichever thread held it last.
    EXPECT_EQ(released_on, std::this_thread::get_id());
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].target, "/running");
}

TEST_F(http_client_test, destruction_performs_the_queued_requests_before_returning) {
    serve([](const http_request_record&) { return reply(200, "done", {}, 50ms); });
    auto requests = client(5s, 1);
    std::vector<http::client::handle> handles;
    for (int i = 0; i < 4; ++i) {
        handles.push_back(requests->perform_async_request(http::method::get, "/q", collect()));
    }
    requests.reset();
    EXPECT_EQ(server->request_count(), 4u);
    EXPECT_TRUE(await_delivered(4));
}

TEST_F(http_client_test, requests_queued_behind_stalled_ones_end_by_their_deadline_unsent) {
    serve(stall);
    const auto requests = client(1s, 2);
    const auto called = std::chrono::steady_clock::now();
    std::vector<http::client::handle> handles;
    for (int i = 0; i < 12; ++i) {
        handles.push_back(requests->perform_async_request(http::method::get, "/s", collect()));
    }
    ASSERT_TRUE(await_delivered(12));
    // Waiting from when a worker is free would take six rounds of the time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - called, 2s);
    int unsent = 0;
    for (const auto& result : delivered) {
        EXPECT_FALSE(result.status_code());
        unsent += result.error()->rfind("refused: timed out after 1 s", 0) == 0 ? 1 : 0;
    }
    // A worker freed by a stalled request's time-out may still take a queued one whose deadline,
    // counted from a later call, has not quite passed: on a loaded machine, one per worker.
    EXPECT_GE(unsent, 8);
    EXPECT_EQ(server->request_count(), static_cast<std::size_t>(12 - unsent));
}

TEST_F(http_client_test, a_request_beyond_the_queue_bound_fails_at_once_unsent) {
    serve(stall);
    const auto requests = client(1s, 1);
    std::vector<http::client::handle> handles;
    for (std::size_t i = 0; i < http::client::max_queued_requests + 2; ++i) {
        handles.push_back(requests->perform_async_request(http::method::get, "/q", collect()));
    }
    ASSERT_TRUE(await_delivered(1));
    EXPECT_EQ(delivered[0].error()->rfind("refused: the queue of 10000 requests", 0), 0u);
}

TEST_F(http_client_test, header_fields_go_out_as_given_and_come_back_in_order) {
    serve([](const http_request_record&) {
        return reply(200, "{}", {{"ETag", "\"v1\""}, {"Retry-After", " 3 "}});
    });
    const auto requests = client();
    const auto handle = requests->perform_async_request(
        http::method::post, "/h", "x=1",
        {{"Authorization", "Bearer t"}, {"Content-Type", "text/plain"}, {"X-Empty", ""}},
        collect());
    ASSERT_TRUE(await_delivered(1));
    const auto seen = server->requests().at(0).headers;
    EXPECT_EQ(seen.at("authorization"), "Bearer t");
    EXPECT_EQ(seen.at("content-type"), "text/plain");
    EXPECT_EQ(seen.at("x-empty"), "");
    const http::headers& received = delivered[0].headers();
    const auto named = [&](const char* _name) {
        return std::find_if(received.begin(), received.end(),
                            [&](const auto& _field) { return _field.first == _name; });
    };
    EXPECT_LT(named("ETag"), named("Retry-After"));
    EXPECT_EQ(http::find_header(received, "RETRY-after").value_or(""), "3");
    EXPECT_FALSE(http::find_header(received, "X-Empty"));

    const std::string not_token = "\" has a name that is not an HTTP token";
    const std::string control = "\" has a control character in its value";
    const std::vector<std::pair<http::headers::value_type, std::string>> refused{
        {{"X-A", "a\r\nX-B: b"}, "X-A" + control},
        {{"X-A", "a\x01"}, "X-A" + control},
        {{"X-A", "a\x7f"}, "X-A" + control},
        {{"X\nB", "v"}, "X\\x0aB" + not_token},
        {{std::string("X\0", 2), "v"}, "X\\x00" + not_token},
        {{"", "v"}, not_token},
        {{"X:Y", "v"}, "X:Y" + not_token},
        {{"X Y", "v"}, "X Y" + not_token},
        {{"X\tY", "v"}, "X\\x09Y" + not_token}};
    for (const auto& [field, why] : refused) {
        const auto result = requests->perform_request(http::method::get, "/bad", "", {field});
        EXPECT_EQ(result.error().value_or(""), "refused: the header field \"" + why);
    }
    EXPECT_EQ(server->request_count(), 1u);
}

TEST_F(http_client_test, heads_and_fields_up_to_their_limits_pass_and_past_them_say_which) {
    const std::size_t field = http::client::max_response_field_size;
    serve([&](const http_request_record& _request) {
        // A field line of the limit, or one byte more, or three fields within libcurl's limits
        // and past the head's.
        const bool head = _request.target == "/head";
        const std::string line =
            "X-Big: " +
            std::string(head ? 90000 : field - 9 + (_request.target == "/field" ? 1 : 0), 'v') +
            "\r\n";
        http_reply answer;
        answer.what = http_reply::fault::raw_answer;
        answer.body =
            "HTTP/1.1 200 OK\r\n" + line + (head ? line + line : "") + "Content-Length: 0\r\n\r\n";
        return answer;
    });
    const auto requests = client();
    const http::result at_limit = requests->perform_request(http::method::get, "/");
    EXPECT_TRUE(at_limit.ok()) << at_limit.error();
    EXPECT_EQ(http::find_header(at_limit.headers(), "x-big").value_or("").size(), field - 9);
    EXPECT_EQ(requests->perform_request(http::method::get, "/field").error().value_or(""),
              "curl_easy_perform failed:response field larger than 102399 bytes");
    EXPECT_EQ(requests->perform_request(http::method::get, "/head").error().value_or(""),
              "curl_easy_perform failed:response head larger than 262144 bytes");

    // Fields, a tab in one, as large as the head may take go out whole; one byte more does not
    // go out. Each field line is "X-n: " and the line end around its value; the head ends with
    // an empty line.
    serve();
    const auto fresh = client();
    const std::size_t head = http::client::max_request_head_size;
    const std::string line = "GET " + server->base_address() + "/q HTTP/1.1\r\n";
    http::headers fields;
    std::size_t size = line.size() + 2;
    for (char name = 'a'; name <= 'k'; ++name) {
        const std::size_t length = std::min<std::size_t>(50000, head - size - 7);
        fields.emplace_back(std::string("X-") + name, name == 'a'
                                                          ? "a\tb" + std::string(length - 3, 'v')
                                                          : std::string(length, 'v'));
        size += 7 + length;
    }
    ASSERT_EQ(size, head);
    EXPECT_TRUE(fresh->perform_request(http::method::get, "/q", "", fields).ok());
    EXPECT_EQ(server->requests().at(0).headers.at("x-k"), fields.back().second);
    EXPECT_EQ(server->requests().at(0).headers.at("x-a"), fields.front().second);
    fields.back().second += 'v';
    EXPECT_EQ(fresh->perform_request(http::method::get, "/q", "", fields).error(),
              boost::optional<std::string>("refused: request head larger than 524288 bytes"));
    EXPECT_EQ(server->request_count(), 1u);
}

}  // namespace
