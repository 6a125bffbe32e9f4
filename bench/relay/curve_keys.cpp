#include "curve_keys.h"

#include <zmq.h>

#include <sys/stat.h>

#include <fstream>
#include <stdexcept>

namespace relay_bench {
namespace {

struct key_pair {
    char public_key[41];
    char secret_key[41];
};

key_pair generate() {
    key_pair pair{};
    if (zmq_curve_keypair(pair.public_key, pair.secret_key) != 0) {
        throw std::runtime_error("libzmq has no CURVE");
    }
    return pair;
}

void write(const std::string& _path, const char* _key) {
    std::ofstream file(_path);
    if (!(file << _key << '\n')) {
        throw std::runtime_error("cannot write " + _path);
    }
}

}  // namespace

void add_curve_keys(endpoints& _endpoints, const scratch_dir& _dir) {
    static const key_pair relay = generate();
    static const key_pair client = generate();
    if (mkdir(_dir.path("clients").c_str(), 0700) == 0) {
        write(_dir.path("relay.key"), relay.secret_key);
        write(_dir.path("clients/bench.pub"), client.public_key);
    }
    _endpoints.server_key = relay.public_key;
    _endpoints.public_key = client.public_key;
    _endpoints.secret_key = client.secret_key;
}

}  // namespace relay_bench
