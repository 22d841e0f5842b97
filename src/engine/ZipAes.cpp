#include "engine/ZipAes.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>

namespace corvane {

namespace {

constexpr int kKeyRounds = 1000;
constexpr size_t kBlock = 16;
constexpr size_t kStreamBlocks = 256;  // key stream made per AES call
constexpr size_t kMaxKeySize = 32;

size_t KeySize(int strength) {
    return strength >= 1 && strength <= 3 ? size_t(8 + 8 * strength) : 0;
}

const EVP_CIPHER* EcbCipher(int strength) {
    switch (strength) {
        case 1:
            return EVP_aes_128_ecb();
        case 2:
            return EVP_aes_192_ecb();
        default:
            return EVP_aes_256_ecb();
    }
}

}  // namespace

struct ZipAes::Contexts {
    EVP_CIPHER_CTX* cipher = EVP_CIPHER_CTX_new();
    EVP_MAC* macAlgorithm = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* mac = nullptr;
    unsigned char counter[kBlock] = {};
    unsigned char stream[kBlock * kStreamBlocks] = {};
    size_t streamUsed = sizeof stream;  // nothing left of the key stream
    bool ready = false;

    ~Contexts() {
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(macAlgorithm);
        EVP_CIPHER_CTX_free(cipher);
    }
};

ZipAes::ZipAes() : m_contexts(std::make_unique<Contexts>()) {}

ZipAes::~ZipAes() = default;

size_t ZipAes::SaltSize(int strength) {
    return KeySize(strength) / 2;
}

bool ZipAes::RandomSalt(unsigned char* salt, size_t size) {
    return RAND_bytes(salt, int(size)) == 1;
}

QByteArray ZipAes::ExtraBlock(int vendorVersion, int strength, quint16 method) {
    const char block[11] = {char(kExtraTag & 0xFF),
                            char(kExtraTag >> 8),
                            7,
                            0,
                            char(vendorVersion),
                            0,
                            'A',
                            'E',
                            char(strength),
                            char(method & 0xFF),
                            char(method >> 8)};
    return QByteArray(block, sizeof block);
}

ZipAesKeys::ZipAesKeys(const ZipAesKeys& other) {
    *this = other;
}

ZipAesKeys& ZipAesKeys::operator=(const ZipAesKeys& other) {
    if (this != &other) {
        strength = other.strength;
        std::memcpy(salt, other.salt, sizeof salt);
        std::memcpy(verifier, other.verifier, sizeof verifier);
        std::memcpy(cipherKey, other.cipherKey, sizeof cipherKey);
        std::memcpy(macKey, other.macKey, sizeof macKey);
    }
    return *this;
}

ZipAesKeys::~ZipAesKeys() {
    OPENSSL_cleanse(cipherKey, sizeof cipherKey);
    OPENSSL_cleanse(macKey, sizeof macKey);
}

bool ZipAes::DeriveKeys(const QByteArray& password, int strength, const unsigned char* salt,
                        ZipAesKeys& keys) {
    const size_t keySize = KeySize(strength);
    if (keySize == 0) {
        return false;
    }
    // Key material: the AES key, the HMAC key, the verifier.
    unsigned char material[2 * kMaxKeySize + kVerifierSize];
    const size_t materialSize = 2 * keySize + kVerifierSize;
    const size_t saltSize = SaltSize(strength);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), salt, int(saltSize),
                          kKeyRounds, EVP_sha1(), int(materialSize), material) != 1) {
        return false;
    }
    keys.strength = strength;
    std::memcpy(keys.salt, salt, saltSize);
    std::memcpy(keys.cipherKey, material, keySize);
    std::memcpy(keys.macKey, material + keySize, keySize);
    std::memcpy(keys.verifier, material + 2 * keySize, kVerifierSize);
    OPENSSL_cleanse(material, sizeof material);
    return true;
}

bool ZipAes::Start(const QByteArray& password, int strength, const unsigned char* salt,
                   unsigned char verifier[kVerifierSize]) {
    m_contexts->ready = false;
    ZipAesKeys keys;
    if (!DeriveKeys(password, strength, salt, keys)) {
        return false;
    }
    std::memcpy(verifier, keys.verifier, kVerifierSize);
    return Start(keys);
}

bool ZipAes::Start(const ZipAesKeys& keys) {
    Contexts& c = *m_contexts;
    c.ready = false;
    const size_t keySize = KeySize(keys.strength);
    if (keySize == 0 || c.cipher == nullptr || c.macAlgorithm == nullptr) {
        return false;
    }
    EVP_MAC_CTX_free(c.mac);
    c.mac = EVP_MAC_CTX_new(c.macAlgorithm);
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_END};
    c.ready = c.mac != nullptr && EVP_MAC_init(c.mac, keys.macKey, keySize, params) == 1 &&
              EVP_EncryptInit_ex(c.cipher, EcbCipher(keys.strength), nullptr, keys.cipherKey,
                                 nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(c.cipher, 0) == 1;
    std::memset(c.counter, 0, sizeof c.counter);
    c.streamUsed = sizeof c.stream;
    return c.ready;
}

bool ZipAes::Encrypt(unsigned char* data, size_t size) {
    return Crypt(data, size) && Authenticate(data, size);
}

bool ZipAes::Decrypt(unsigned char* data, size_t size) {
    return Authenticate(data, size) && Crypt(data, size);
}

bool ZipAes::Mac(unsigned char mac[kMacSize]) {
    Contexts& c = *m_contexts;
    unsigned char full[EVP_MAX_MD_SIZE];
    size_t length = 0;
    if (!c.ready || EVP_MAC_final(c.mac, full, &length, sizeof full) != 1 || length < kMacSize) {
        return false;
    }
    std::memcpy(mac, full, kMacSize);
    c.ready = false;  // the code ends the entry
    return true;
}

// Counter mode with the counter as a little-endian number, the first block encrypted
// with 1: the key stream is AES of the counters, made many blocks at a time.
bool ZipAes::Crypt(unsigned char* data, size_t size) {
    Contexts& c = *m_contexts;
    if (!c.ready) {
        return false;
    }
    while (size > 0) {
        if (c.streamUsed == sizeof c.stream) {
            for (size_t block = 0; block < kStreamBlocks; ++block) {
                for (unsigned char& byte : c.counter) {
                    if (++byte != 0) {
                        break;
                    }
                }
                std::memcpy(c.stream + block * kBlock, c.counter, kBlock);
            }
            int length = 0;
            if (EVP_EncryptUpdate(c.cipher, c.stream, &length, c.stream, int(sizeof c.stream)) !=
                    1 ||
                size_t(length) != sizeof c.stream) {
                return false;
            }
            c.streamUsed = 0;
        }
        const size_t take = std::min(size, sizeof c.stream - c.streamUsed);
        const unsigned char* stream = c.stream + c.streamUsed;
        for (size_t i = 0; i < take; ++i) {
            data[i] ^= stream[i];
        }
        c.streamUsed += take;
        data += take;
        size -= take;
    }
    return true;
}

bool ZipAes::Authenticate(const unsigned char* data, size_t size) {
    Contexts& c = *m_contexts;
    return c.ready && (size == 0 || EVP_MAC_update(c.mac, data, size) == 1);
}

}  // namespace corvane
