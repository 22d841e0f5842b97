// The traditional PKWARE cipher against fixed vectors (checked against Python's zipfile
// when they were made). That ZIP tools open what the archive writer encrypts, and that
// the restore opens what `zip -P` encrypted, is tested with the writer and the reader.

#include <cstring>

#include <gtest/gtest.h>

#include "engine/ZipCrypto.h"

namespace corvane {
namespace {

QByteArray Bytes(const unsigned char* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

struct VectorCase {
    const char* password;  // UTF-8
    const char* cipherHex;
};

class ZipCryptoVectorTest : public ::testing::TestWithParam<VectorCase> {};

// Header bytes 00..0a with check byte ab, then "hello world".
TEST_P(ZipCryptoVectorTest, EncryptsAndDecryptsTheKnownVector) {
    const QByteArray password = QByteArray(GetParam().password);
    const QByteArray expected = QByteArray::fromHex(GetParam().cipherHex);
    unsigned char random[ZipCrypto::kHeaderSize - 1] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    unsigned char buffer[ZipCrypto::kHeaderSize + 11];
    ZipCrypto encrypter(password);
    encrypter.EncryptHeader(random, 0xAB, buffer);
    std::memcpy(buffer + ZipCrypto::kHeaderSize, "hello world", 11);
    encrypter.Encrypt(buffer + ZipCrypto::kHeaderSize, 11);
    EXPECT_EQ(Bytes(buffer, sizeof buffer), expected);

    // A password that differs by one byte fails the header's check.
    QByteArray header = expected.left(ZipCrypto::kHeaderSize);
    EXPECT_FALSE(ZipCrypto(password + " ")
                     .DecryptHeader(reinterpret_cast<unsigned char*>(header.data()), 0xAB));

    ZipCrypto decrypter(password);
    ASSERT_TRUE(decrypter.DecryptHeader(buffer, 0xAB));
    EXPECT_EQ(Bytes(buffer, ZipCrypto::kHeaderSize - 1), Bytes(random, sizeof random));
    decrypter.Decrypt(buffer + ZipCrypto::kHeaderSize, 11);
    EXPECT_EQ(Bytes(buffer + ZipCrypto::kHeaderSize, 11), QByteArray("hello world"));

    // Restart goes back to the keys right after the password, for the next entry.
    encrypter.Restart();
    encrypter.EncryptHeader(random, 0xAB, buffer);
    EXPECT_EQ(Bytes(buffer, ZipCrypto::kHeaderSize), expected.left(ZipCrypto::kHeaderSize));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, ZipCryptoVectorTest,
    ::testing::Values(VectorCase{"secret", "c888c2bf0de3a403f4153272c203e90f9d636e37153370"},
                      VectorCase{"", "ab1b61579be247098bee80de6223795797fcac2c1a66c0"},
                      // "pässwörd" as UTF-8
                      VectorCase{"p\xc3\xa4ssw\xc3\xb6rd",
                                 "9ffeba0fc284c6c7285489670a426a315c7de0c77f2cb8"}));

}  // namespace
}  // namespace corvane
