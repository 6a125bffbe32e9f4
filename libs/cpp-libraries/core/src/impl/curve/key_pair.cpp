#include <core/curve/key_pair.h>

#include <core/append_escaped.h>
#include <core/curve/key_file.h>
#include <core/exception.h>

#include <zmq.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zel {
namespace libs {
namespace core {
namespace curve {
namespace {

constexpr std::size_t z85_buffer_size = 41;

[[noreturn]] void refuse_file(const std::string& _path, int _error) {
    std::string message = "Cannot write key file ";
    append_escaped(message, _path);
    throw exception(message + ": " + std::strerror(_error), ZEL_LOCATION);
}

// Created, never replaced, with _mode as its permissions at once: a secret key is never readable
// by others, not even for a moment.
void write_new_file(const std::string& _path, const std::string& _line, mode_t _mode) {
    const int fd = ::open(_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, _mode);
    if (fd < 0) {
        refuse_file(_path, errno);
    }
    const std::string contents = _line + "\n";
    const bool written =
        ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(_path.c_str());
        refuse_file(_path, written ? errno : error);
    }
}

}  // namespace

key_pair key_pair::generate() {
    char public_key[z85_buffer_size];
    char secret_key[z85_buffer_size];
    if (zmq_curve_keypair(public_key, secret_key) != 0) {
        throw exception(
            std::string("Cannot generate a CURVE key pair: ") + zmq_strerror(zmq_errno()),
            ZEL_LOCATION);
    }
    return {public_key, secret_key};
}

key_pair key_pair::read(const std::string& _secret_key_file) {
    if (std::filesystem::path(_secret_key_file).extension() == ".pub") {
        std::string message = "Key file ";
        append_escaped(message, _secret_key_file);
        throw exception(message + ": a public key, where the secret key (a .key file) is asked for",
                        ZEL_LOCATION);
    }
    key_pair pair;
    pair.secret_key = read_key_file(_secret_key_file);
    char public_key[z85_buffer_size];
    if (zmq_curve_public(public_key, pair.secret_key.c_str()) != 0) {
        throw exception(std::string("Cannot derive the public key: ") + zmq_strerror(zmq_errno()),
                        ZEL_LOCATION);
    }
    pair.public_key = public_key;
    return pair;
}

std::string key_pair::loose_permissions(const std::string& _secret_key_file) {
    struct stat status {};
    if (::stat(_secret_key_file.c_str(), &status) != 0 ||
        (status.st_mode & (S_IRGRP | S_IROTH)) == 0) {
        return {};
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return mode;
}

void key_pair::write(const std::string& _prefix) const {
    const std::string secret_file = _prefix + ".key";
    write_new_file(secret_file, secret_key, 0600);
    try {
        write_new_file(_prefix + ".pub", public_key, 0644);
    } catch (...) {
        // Half a pair is of no use, and would be refused as existing next time.
        ::unlink(secret_file.c_str());
        throw;
    }
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
