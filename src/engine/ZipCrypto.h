#pragma once

// The traditional PKWARE encryption of ZIP entries ("ZipCrypto"): three 32-bit keys
// made from the password, a 12-byte header in front of the entry's compressed data
// whose last byte lets a reader check the password, and a byte-wise stream cipher over
// header and data.
//
// The cipher is weak by today's measure; it is what every ZIP tool opens. An object
// keeps the keys made from the password, so one object serves every entry of an
// archive: Restart() before each entry. Not thread-safe; cheap to copy.

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>

namespace corvane {

class ZipCrypto {
  public:
    static constexpr int kHeaderSize = 12;

    // Keys for a password given as the bytes that are hashed (ours: UTF-8).
    explicit ZipCrypto(const QByteArray& password);

    // Back to the keys right after the password, for the next entry.
    void Restart();

    // Encrypts or decrypts bytes in place; the keys advance over the plain bytes.
    void Encrypt(unsigned char* data, size_t size);
    void Decrypt(unsigned char* data, size_t size);

    // The encrypted header of an entry: the first 11 bytes of `random` (which must
    // come from a proper random source) followed by `checkByte`, encrypted into
    // `header`. The check byte is the high byte of the entry's CRC-32 (or the high
    // byte of its DOS time when the entry's sizes follow in a data descriptor).
    void EncryptHeader(const unsigned char* random, unsigned char checkByte, unsigned char* header);
    // Decrypts a header in place and tells whether its last byte is `checkByte`, that
    // is whether the password is (very likely) right. The keys have then advanced to
    // the entry's data either way.
    bool DecryptHeader(unsigned char* header, unsigned char checkByte);

  private:
    void UpdateKeys(unsigned char plain);
    unsigned char KeyStreamByte() const;

    quint32 m_keys[3] = {};
    quint32 m_initialKeys[3] = {};
};

}  // namespace corvane
