// The reference relay of the benchmark: libzmq's own zmq_proxy from a bound PULL socket to a
// bound PUB socket, the pair vandrel binds, so that the harness can tell what the relay costs
// beyond the library's forwarding.
//
// Usage: zmq_proxy_relay INPUT_ENDPOINT OUTPUT_ENDPOINT. Runs until SIGTERM or SIGINT.
#include <zmq.h>

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT_ENDPOINT OUTPUT_ENDPOINT\n", argv[0]);
        return 2;
    }
    // A signal handler alone would be racy: a signal landing between two of zmq_proxy's system
    // calls interrupts none of them. So the signals are blocked here, before any thread
    // exists, and one thread waits for them and shuts the context down, which makes zmq_proxy
    // return with ETERM wherever it is.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    void* context = zmq_ctx_new();
    void* input = zmq_socket(context, ZMQ_PULL);
    void* output = zmq_socket(context, ZMQ_PUB);
    if (zmq_bind(input, argv[1]) != 0 || zmq_bind(output, argv[2]) != 0) {
        std::fprintf(stderr, "zmq_proxy_relay: bind: %s\n", zmq_strerror(zmq_errno()));
        return 1;
    }
    std::thread stopper([&] {
        int signal_number = 0;
        sigwait(&stop_signals, &signal_number);
        zmq_ctx_shutdown(context);
    });

    zmq_proxy(input, output, nullptr);
    const int error = zmq_errno();
    if (error != ETERM) {
        // Not stopped by a signal: the waiting thread would never return.
        std::fprintf(stderr, "zmq_proxy_relay: zmq_proxy: %s\n", zmq_strerror(error));
        std::_Exit(1);
    }
    stopper.join();

    const int linger = 0;
    zmq_setsockopt(input, ZMQ_LINGER, &linger, sizeof linger);
    zmq_setsockopt(output, ZMQ_LINGER, &linger, sizeof linger);
    zmq_close(input);
    zmq_close(output);
    zmq_ctx_term(context);
    return 0;
}
