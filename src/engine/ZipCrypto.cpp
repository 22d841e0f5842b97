#include "engine/ZipCrypto.h"

#include <array>

namespace corvane {

namespace {

// The CRC-32 table of the ZIP polynomial (reflected 0xEDB88320); the cipher steps one
// of its keys with a single CRC byte update.
constexpr std::array<quint32, 256> MakeCrcTable() {
    std::array<quint32, 256> table = {};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

constexpr std::array<quint32, 256> kCrcTable = MakeCrcTable();

inline quint32 CrcByte(quint32 crc, unsigned char byte) {
    return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

ZipCrypto::ZipCrypto(const QByteArray& password) {
    m_keys[0] = 0x12345678u;
    m_keys[1] = 0x23456789u;
    m_keys[2] = 0x34567890u;
    for (const char c : password) {
        UpdateKeys(static_cast<unsigned char>(c));
    }
    for (int i = 0; i < 3; ++i) {
        m_initialKeys[i] = m_keys[i];
    }
}

void ZipCrypto::Restart() {
    for (int i = 0; i < 3; ++i) {
        m_keys[i] = m_initialKeys[i];
    }
}

void ZipCrypto::UpdateKeys(unsigned char plain) {
    m_keys[0] = CrcByte(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
    m_keys[2] = CrcByte(m_keys[2], static_cast<unsigned char>(m_keys[1] >> 24));
}

unsigned char ZipCrypto::KeyStreamByte() const {
    const quint32 temp = (m_keys[2] & 0xFFFF) | 2;
    return static_cast<unsigned char>(((temp * (temp ^ 1)) >> 8) & 0xFF);
}

void ZipCrypto::Encrypt(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char plain = data[i];
        data[i] = plain ^ KeyStreamByte();
        UpdateKeys(plain);
    }
}

void ZipCrypto::Decrypt(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char plain = data[i] ^ KeyStreamByte();
        data[i] = plain;
        UpdateKeys(plain);
    }
}

void ZipCrypto::EncryptHeader(const unsigned char* random, unsigned char checkByte,
                              unsigned char* header) {
    for (int i = 0; i < kHeaderSize - 1; ++i) {
        header[i] = random[i];
    }
    header[kHeaderSize - 1] = checkByte;
    Encrypt(header, kHeaderSize);
}

bool ZipCrypto::DecryptHeader(unsigned char* header, unsigned char checkByte) {
    Decrypt(header, kHeaderSize);
    return header[kHeaderSize - 1] == checkByte;
}

}  // namespace corvane
