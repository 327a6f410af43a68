#include "crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace smsd {
namespace {

constexpr int kPasswordIterations = 210000;  // OWASP's figure for PBKDF2-HMAC-SHA256
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

std::string Hex(const unsigned char *bytes, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 15];
  }
  return hex;
}

bool FromHex(const std::string &hex, std::vector<unsigned char> &bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (size_t k = 0; k < 2; ++k) {
      const char c = hex[i + k];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

std::string Pbkdf2Hex(const std::string &password, const std::vector<unsigned char> &salt, int iterations) {
  unsigned char out[kHashBytes];
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(), static_cast<int>(salt.size()),
                        iterations, EVP_sha256(), sizeof out, out) != 1)
    throw std::runtime_error("PBKDF2 failed");
  return Hex(out, sizeof out);
}

}  // namespace

std::string Sha256Hex(const std::string &bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 failed");
  return Hex(digest, length);
}

std::string HmacSha256Hex(const std::string &key, const std::string &message) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char *>(message.data()), message.size(), mac, &length) == nullptr)
    throw std::runtime_error("HMAC-SHA256 failed");
  return Hex(mac, length);
}

std::string RandomHex(size_t bytes) {
  std::vector<unsigned char> buffer(bytes);
  if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1)
    throw std::runtime_error("no random bytes from the system");
  return Hex(buffer.data(), buffer.size());
}

bool ConstantTimeEquals(const std::string &a, const std::string &b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string HashPassword(const std::string &password) {
  std::vector<unsigned char> salt;
  FromHex(RandomHex(kSaltBytes), salt);
  return "pbkdf2-sha256$" + std::to_string(kPasswordIterations) + "$" + Hex(salt.data(), salt.size()) + "$" +
         Pbkdf2Hex(password, salt, kPasswordIterations);
}

bool VerifyPassword(const std::string &password, const std::string &stored) {
  const std::string prefix = "pbkdf2-sha256$";
  if (stored.rfind(prefix, 0) != 0) return false;
  const size_t a = prefix.size(), b = stored.find('$', a), c = b == std::string::npos ? b : stored.find('$', b + 1);
  if (c == std::string::npos) return false;
  char *end = nullptr;
  const long iterations = std::strtol(stored.c_str() + a, &end, 10);
  std::vector<unsigned char> salt;
  if (end != stored.c_str() + b || iterations < 1 || iterations > 10000000 ||
      !FromHex(stored.substr(b + 1, c - b - 1), salt))
    return false;
  return ConstantTimeEquals(Pbkdf2Hex(password, salt, static_cast<int>(iterations)), stored.substr(c + 1));
}

}  // namespace smsd
