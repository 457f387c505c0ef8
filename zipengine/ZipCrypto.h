// The traditional PKWARE encryption of zip entries (the one every unzip reads with a password).
// It is weak by today's standards; it is offered because the archive format's readers expect it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dravello::zipengine {

inline constexpr size_t kCryptHeaderSize = 12;

class ZipEncryptor {
 public:
  explicit ZipEncryptor(std::string_view password);

  // The 12-byte encryption header, already encrypted: eleven random bytes and the check byte
  // (the high byte of the CRC, or of the DOS time for entries with a data descriptor).
  std::string Header(uint8_t checkByte, uint64_t randomSeed);

  // Encrypts n bytes in place, continuing the key stream.
  void Encrypt(char* data, size_t n);

 private:
  uint32_t key0_, key1_, key2_;
};

// Decrypts in place with the same key stream (used by the tests and for reading back).
class ZipDecryptor {
 public:
  explicit ZipDecryptor(std::string_view password);
  void Decrypt(char* data, size_t n);

 private:
  uint32_t key0_, key1_, key2_;
};

// A fresh seed for encryption headers (not for anything that needs real secrecy).
uint64_t RandomSeed();

}  // namespace dravello::zipengine
