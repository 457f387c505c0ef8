#include "zipengine/ZipCrypto.h"

#include <zlib.h>

#include <random>

namespace dravello::zipengine {

namespace {

// The traditional encryption steps its keys with single bytes of CRC-32, so it needs the table
// itself rather than a checksum routine; zlib, which the engine links anyway, provides it.
inline uint32_t CrcStep(uint32_t crc, uint8_t b) {
  static const z_crc_t* const table = ::get_crc_table();
  return static_cast<uint32_t>(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
}

struct Keys {
  uint32_t k0 = 0x12345678u, k1 = 0x23456789u, k2 = 0x34567890u;
  void Update(uint8_t plain) {
    k0 = CrcStep(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcStep(k2, static_cast<uint8_t>(k1 >> 24));
  }
  uint8_t Stream() const {
    uint32_t t = (k2 | 2) & 0xFFFF;  // unsigned: the product does not fit a signed int
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
};

Keys InitKeys(std::string_view password) {
  Keys k;
  for (char c : password) k.Update(static_cast<uint8_t>(c));
  return k;
}

}  // namespace

ZipEncryptor::ZipEncryptor(std::string_view password) {
  Keys k = InitKeys(password);
  key0_ = k.k0;
  key1_ = k.k1;
  key2_ = k.k2;
}

std::string ZipEncryptor::Header(uint8_t checkByte, uint64_t randomSeed) {
  std::mt19937_64 rng(randomSeed);
  std::string h(kCryptHeaderSize, '\0');
  for (size_t i = 0; i + 1 < kCryptHeaderSize; ++i) h[i] = static_cast<char>(rng() & 0xFF);
  h[kCryptHeaderSize - 1] = static_cast<char>(checkByte);
  Encrypt(h.data(), h.size());
  return h;
}

void ZipEncryptor::Encrypt(char* data, size_t n) {
  Keys k{key0_, key1_, key2_};
  for (size_t i = 0; i < n; ++i) {
    auto plain = static_cast<uint8_t>(data[i]);
    data[i] = static_cast<char>(plain ^ k.Stream());
    k.Update(plain);
  }
  key0_ = k.k0;
  key1_ = k.k1;
  key2_ = k.k2;
}

ZipDecryptor::ZipDecryptor(std::string_view password) {
  Keys k = InitKeys(password);
  key0_ = k.k0;
  key1_ = k.k1;
  key2_ = k.k2;
}

void ZipDecryptor::Decrypt(char* data, size_t n) {
  Keys k{key0_, key1_, key2_};
  for (size_t i = 0; i < n; ++i) {
    auto plain = static_cast<uint8_t>(static_cast<uint8_t>(data[i]) ^ k.Stream());
    data[i] = static_cast<char>(plain);
    k.Update(plain);
  }
  key0_ = k.k0;
  key1_ = k.k1;
  key2_ = k.k2;
}

uint64_t RandomSeed() {
  std::random_device rd;
  return (static_cast<uint64_t>(rd()) << 32) ^ rd();
}

}  // namespace dravello::zipengine
