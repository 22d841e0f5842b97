#pragma once

// The AES encryption of ZIP entries (method 99 with an "AE" extra field of tag 0x9901):
// keys from PBKDF2-HMAC-SHA1 (1000 rounds) of the password and a random salt, the data
// encrypted with AES in counter mode (a little-endian 128-bit counter that starts at
// 1), and a 10-byte HMAC-SHA1 of the encrypted data after it. An entry's stored bytes
// are salt, 2-byte password verifier, encrypted data, authentication code.
//
// Every entry has its own salt and so its own keys: a key stream is never used twice.
// One object serves the entries of an archive one after the other (Start before each).
// Not thread-safe.

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <memory>

namespace corvane {

// The derived keys of one entry with the salt they came from. Wiped when destroyed.
struct ZipAesKeys {
    static constexpr size_t kMaxKeySize = 32;
    int strength = 0;
    unsigned char salt[16] = {};
    unsigned char verifier[2] = {};
    unsigned char cipherKey[kMaxKeySize] = {};
    unsigned char macKey[kMaxKeySize] = {};

    ZipAesKeys() = default;
    ZipAesKeys(const ZipAesKeys& other);
    ZipAesKeys& operator=(const ZipAesKeys& other);
    ~ZipAesKeys();
};

class ZipAes {
  public:
    static constexpr quint16 kMethod = 99;
    static constexpr quint16 kExtraTag = 0x9901;
    static constexpr int kStrength256 = 3;  // 1, 2, 3: AES-128, -192, -256
    static constexpr size_t kMaxSaltSize = 16;
    static constexpr size_t kVerifierSize = 2;
    static constexpr size_t kMacSize = 10;
    // Stored bytes around the data of an AES-256 entry.
    static constexpr size_t kOverhead256 = kMaxSaltSize + kVerifierSize + kMacSize;

    ZipAes();
    ~ZipAes();
    ZipAes(const ZipAes&) = delete;
    ZipAes& operator=(const ZipAes&) = delete;

    // The salt's length for a strength (8, 12 or 16 bytes); 0 for an unknown strength.
    static size_t SaltSize(int strength);
    // Fresh random bytes for a salt; false when the system gave none.
    [[nodiscard]] static bool RandomSalt(unsigned char* salt, size_t size);

    // The extra field block of an entry: tag, size 7, vendor version (1 = AE-1, which
    // keeps the CRC; 2 = AE-2, whose CRC field is 0), "AE", strength, the real method.
    static QByteArray ExtraBlock(int vendorVersion, int strength, quint16 method);

    // Derives an entry's keys from the password (its bytes as hashed: ours are UTF-8)
    // and the entry's salt (SaltSize(strength) bytes): the slow part (PBKDF2), safe on
    // any thread. False for an unknown strength or when the library fails.
    [[nodiscard]] static bool DeriveKeys(const QByteArray& password, int strength,
                                         const unsigned char* salt, ZipAesKeys& keys);
    // Begins an entry with keys derived before.
    [[nodiscard]] bool Start(const ZipAesKeys& keys);
    // Derives and begins in one go; gives the password verifier.
    [[nodiscard]] bool Start(const QByteArray& password, int strength, const unsigned char* salt,
                             unsigned char verifier[kVerifierSize]);
    // Encrypts or decrypts in place; both take the encrypted bytes into the code.
    [[nodiscard]] bool Encrypt(unsigned char* data, size_t size);
    [[nodiscard]] bool Decrypt(unsigned char* data, size_t size);
    // The authentication code of everything since Start.
    [[nodiscard]] bool Mac(unsigned char mac[kMacSize]);

  private:
    bool Crypt(unsigned char* data, size_t size);
    bool Authenticate(const unsigned char* data, size_t size);

    struct Contexts;
    std::unique_ptr<Contexts> m_contexts;
};

}  // namespace corvane
