// Hashes, MACs and randomness for the gateway (OpenSSL's libcrypto).
#pragma once

#include <string>

namespace smsd {

// SHA-256 of the bytes, as 64 lower-case hex digits.
std::string Sha256Hex(const std::string &bytes);
// HMAC-SHA256 of `message` under `key`, as 64 lower-case hex digits.
std::string HmacSha256Hex(const std::string &key, const std::string &message);
// `bytes` bytes from the system's random source, as 2 * `bytes` hex digits. Throws
// std::runtime_error when there is no randomness to be had.
std::string RandomHex(size_t bytes);
// Whether the two are equal, in a time that depends on their lengths only.
bool ConstantTimeEquals(const std::string &a, const std::string &b);
// A password as "pbkdf2-sha256$ITERATIONS$SALT$HASH" (salt and hash in hex).
std::string HashPassword(const std::string &password);
// Whether the password is the one of `stored` (a HashPassword result); false for a
// stored value that is not one.
bool VerifyPassword(const std::string &password, const std::string &stored);

}  // namespace smsd
