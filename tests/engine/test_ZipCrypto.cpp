// The traditional PKWARE cipher in both directions: fixed vectors (checked against
// Python's zipfile when they were made), entries we encrypt opened by unzip and Python,
// and entries that `zip -P` and our archive writer encrypted, read back raw through
// minizip and decrypted here, as the restore does.

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <optional>
#include <random>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "engine/ZipCrypto.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::TempDir;

// ---------------------------------------------------------------------------------------
// Helpers.

struct ToolResult {
    int exitCode = -1;
    QByteArray output;
};

ToolResult RunTool(const QString& program, const QStringList& arguments,
                   const QString& workingFolder = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(environment);
    if (!workingFolder.isEmpty()) {
        process.setWorkingDirectory(workingFolder);
    }
    process.start(program, arguments);
    ToolResult result;
    if (!process.waitForStarted() || !process.waitForFinished(120000)) {
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput() + process.readAllStandardError();
    return result;
}

QByteArray Bytes(const unsigned char* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QByteArray RandomBytes(int size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

quint32 Crc(const QByteArray& bytes) {
    return quint32(crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.constData()),
                         uInt(bytes.size())));
}

// One entry as it lies in the archive: header fields and the raw (encrypted,
// compressed) bytes, read through minizip's raw mode.
struct RawEntry {
    QString name;
    unz_file_info64 info = {};
    QByteArray raw;
};

std::vector<RawEntry> ReadRawEntries(const QString& archive) {
    std::vector<RawEntry> entries;
    unzFile zip = unzOpen64(QFile::encodeName(archive).constData());
    EXPECT_NE(zip, nullptr) << archive.toStdString();
    if (zip == nullptr) {
        return entries;
    }
    for (int result = unzGoToFirstFile(zip); result == UNZ_OK; result = unzGoToNextFile(zip)) {
        RawEntry entry;
        char name[1024] = {};
        EXPECT_EQ(
            unzGetCurrentFileInfo64(zip, &entry.info, name, sizeof name, nullptr, 0, nullptr, 0),
            UNZ_OK);
        entry.name = QString::fromUtf8(name);
        int method = 0;
        int level = 0;
        EXPECT_EQ(unzOpenCurrentFile3(zip, &method, &level, 1, nullptr), UNZ_OK);
        char buffer[16384];
        for (;;) {
            const int got = unzReadCurrentFile(zip, buffer, sizeof buffer);
            EXPECT_GE(got, 0);
            if (got <= 0) {
                break;
            }
            entry.raw.append(buffer, got);
        }
        unzCloseCurrentFile(zip);
        entries.push_back(entry);
    }
    unzClose(zip);
    return entries;
}

// Decrypts and inflates an entry and checks its CRC: the content, or nothing when the
// password does not open it.
std::optional<QByteArray> OpenEntry(const RawEntry& entry, const QByteArray& password) {
    if (entry.raw.size() < ZipCrypto::kHeaderSize) {
        return std::nullopt;
    }
    QByteArray data = entry.raw;
    auto* bytes = reinterpret_cast<unsigned char*>(data.data());
    ZipCrypto crypto(password);
    // With a data descriptor (flag bit 3) the check byte is the DOS time's high byte,
    // since the CRC was not known when the header was written.
    const unsigned char check = (entry.info.flag & 8) != 0
                                    ? static_cast<unsigned char>(entry.info.dosDate >> 8)
                                    : static_cast<unsigned char>(entry.info.crc >> 24);
    if (!crypto.DecryptHeader(bytes, check)) {
        return std::nullopt;
    }
    crypto.Decrypt(bytes + ZipCrypto::kHeaderSize, size_t(data.size()) - ZipCrypto::kHeaderSize);
    data.remove(0, ZipCrypto::kHeaderSize);
    QByteArray plain;
    if (entry.info.compression_method == 0) {
        plain = data;
    } else {
        z_stream stream = {};
        EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
        stream.next_in = reinterpret_cast<Bytef*>(data.data());
        stream.avail_in = uInt(data.size());
        char out[16384];
        int result = Z_OK;
        while (result == Z_OK) {
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = sizeof out;
            result = inflate(&stream, Z_NO_FLUSH);
            plain.append(out, qsizetype(sizeof out - stream.avail_out));
        }
        inflateEnd(&stream);
        if (result != Z_STREAM_END) {
            return std::nullopt;
        }
    }
    if (Crc(plain) != entry.info.crc || quint64(plain.size()) != entry.info.uncompressed_size) {
        return std::nullopt;
    }
    return plain;
}

// ---------------------------------------------------------------------------------------
// The cipher itself.

struct VectorCase {
    const char* password;  // UTF-8
    const char* cipherHex;
};

class ZipCryptoVectorTest : public ::testing::TestWithParam<VectorCase> {};

// Header bytes 00..0a with check byte ab, then "hello world".
TEST_P(ZipCryptoVectorTest, EncryptsAndDecryptsTheKnownVector) {
    const QByteArray password = QByteArray(GetParam().password);
    const QByteArray expected = QByteArray::fromHex(GetParam().cipherHex);
    unsigned char random[ZipCrypto::kHeaderSize - 1];
    for (int i = 0; i < ZipCrypto::kHeaderSize - 1; ++i) {
        random[i] = static_cast<unsigned char>(i);
    }
    unsigned char buffer[ZipCrypto::kHeaderSize + 11];
    ZipCrypto encrypter(password);
    encrypter.EncryptHeader(random, 0xAB, buffer);
    std::memcpy(buffer + ZipCrypto::kHeaderSize, "hello world", 11);
    encrypter.Encrypt(buffer + ZipCrypto::kHeaderSize, 11);
    EXPECT_EQ(Bytes(buffer, sizeof buffer), expected);

    ZipCrypto decrypter(password);
    ASSERT_TRUE(decrypter.DecryptHeader(buffer, 0xAB));
    EXPECT_EQ(Bytes(buffer, ZipCrypto::kHeaderSize - 1), Bytes(random, sizeof random));
    decrypter.Decrypt(buffer + ZipCrypto::kHeaderSize, 11);
    EXPECT_EQ(Bytes(buffer + ZipCrypto::kHeaderSize, 11), QByteArray("hello world"));

    // Restart goes back to the keys right after the password.
    unsigned char again[ZipCrypto::kHeaderSize];
    encrypter.Restart();
    encrypter.EncryptHeader(random, 0xAB, again);
    EXPECT_EQ(Bytes(again, sizeof again), expected.left(ZipCrypto::kHeaderSize));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, ZipCryptoVectorTest,
    ::testing::Values(VectorCase{"secret", "c888c2bf0de3a403f4153272c203e90f9d636e37153370"},
                      VectorCase{"", "ab1b61579be247098bee80de6223795797fcac2c1a66c0"},
                      // "pässwörd" as UTF-8
                      VectorCase{"p\xc3\xa4ssw\xc3\xb6rd",
                                 "9ffeba0fc284c6c7285489670a426a315c7de0c77f2cb8"}));

TEST(ZipCryptoTest, WrongPasswordFailsTheHeaderCheck) {
    const QByteArray cipher = QByteArray::fromHex("c888c2bf0de3a403f4153272c203e90f");
    for (const char* wrong : {"Secret", "secret ", "secre", ""}) {
        QByteArray header = cipher.left(ZipCrypto::kHeaderSize);
        ZipCrypto crypto{QByteArray(wrong)};
        EXPECT_FALSE(crypto.DecryptHeader(reinterpret_cast<unsigned char*>(header.data()), 0xAB))
            << wrong;
    }
}

TEST(ZipCryptoTest, LongDataRoundTripsInPieces) {
    // The keys advance over the plain bytes: decrypting in other pieces than were
    // encrypted still gives the data back, and the cipher text is no copy of it.
    const QByteArray plain = RandomBytes(100000, 5);
    QByteArray data = plain;
    auto* bytes = reinterpret_cast<unsigned char*>(data.data());
    ZipCrypto encrypter("key");
    encrypter.Encrypt(bytes, 70000);
    encrypter.Encrypt(bytes + 70000, 30000);
    EXPECT_NE(data, plain);
    ZipCrypto decrypter("key");
    for (int at = 0; at < data.size(); at += 999) {
        decrypter.Decrypt(bytes + at, size_t(std::min<qsizetype>(999, data.size() - at)));
    }
    EXPECT_EQ(data, plain);
}

// ---------------------------------------------------------------------------------------
// Encrypting: an entry made with the cipher through minizip's raw mode opens in unzip
// and Python with the password.

QString WriteStoredEncryptedEntry(const TempDir& dir, const QByteArray& content,
                                  const QByteArray& password) {
    const QString archive = dir.File("ours.zip");
    zipFile zip = zipOpen64(QFile::encodeName(archive).constData(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    zip_fileinfo info = {};
    info.dosDate = 0x58210000;  // 2024-01-01 00:00:00
    const quint32 crc = Crc(content);
    EXPECT_EQ(
        zipOpenNewFileInZip4_64(zip, "plain.bin", &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 1,
                                -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0x314, 0x801, 0),
        ZIP_OK);
    ZipCrypto crypto(password);
    unsigned char header[ZipCrypto::kHeaderSize];
    const unsigned char random[ZipCrypto::kHeaderSize - 1] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 42};
    crypto.EncryptHeader(random, static_cast<unsigned char>(crc >> 24), header);
    QByteArray data = content;
    crypto.Encrypt(reinterpret_cast<unsigned char*>(data.data()), size_t(data.size()));
    EXPECT_EQ(zipWriteInFileInZip(zip, header, sizeof header), ZIP_OK);
    EXPECT_EQ(zipWriteInFileInZip(zip, data.constData(), unsigned(data.size())), ZIP_OK);
    EXPECT_EQ(zipCloseFileInZipRaw64(zip, quint64(content.size()), crc), ZIP_OK);
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
    return archive;
}

TEST(ZipCryptoTest, UnzipAndPythonOpenWhatWeEncrypt) {
    TempDir dir;
    const QByteArray content = RandomBytes(30000, 9);
    const QString archive = WriteStoredEncryptedEntry(dir, content, "open sesame");

    const ToolResult unzip = RunTool("unzip", {"-p", "-P", "open sesame", archive, "plain.bin"});
    EXPECT_EQ(unzip.exitCode, 0);
    EXPECT_EQ(unzip.output, content);
    const ToolResult wrong = RunTool("unzip", {"-p", "-P", "open sesame!", archive, "plain.bin"});
    EXPECT_NE(wrong.output, content);

    const ToolResult python =
        RunTool("/usr/bin/python3",
                {"-c",
                 "import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("
                 "'plain.bin', pwd=b'open sesame'))",
                 archive});
    EXPECT_EQ(python.exitCode, 0);
    EXPECT_EQ(python.output, content);
}

// ---------------------------------------------------------------------------------------
// Decrypting: archives of `zip -P` (check byte from the time, data descriptor) and of our
// writer (check byte from the CRC), read raw and opened here.

struct SampleFile {
    const char* name;
    QByteArray content;
};

const std::vector<SampleFile>& Samples() {
    static const std::vector<SampleFile> samples = {
        {"text.txt", QByteArray("zip it up, zip it up. ").repeated(3000)},
        {"random.bin", RandomBytes(150000, 4)},
        {"one.txt", "x"},
        {"empty.txt", {}}};
    return samples;
}

TEST(ZipCryptoTest, DecryptsWhatZipEncrypted) {
    TempDir dir;
    QStringList names;
    for (const SampleFile& sample : Samples()) {
        dir.Write(sample.name, sample.content);
        names << sample.name;
    }
    const QString archive = dir.File("zip.zip");
    const ToolResult zip =
        RunTool("zip", QStringList{"-q", "-P", "tiger", archive} + names, dir.Path());
    ASSERT_EQ(zip.exitCode, 0) << zip.output.toStdString();

    const std::vector<RawEntry> entries = ReadRawEntries(archive);
    ASSERT_EQ(entries.size(), Samples().size());
    bool sawDescriptor = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].name.toStdString());
        EXPECT_EQ(entries[i].name, names[qsizetype(i)]);
        EXPECT_EQ(entries[i].info.flag & 1, 1u);
        sawDescriptor = sawDescriptor || (entries[i].info.flag & 8) != 0;
        const std::optional<QByteArray> plain = OpenEntry(entries[i], "tiger");
        ASSERT_TRUE(plain.has_value());
        EXPECT_EQ(*plain, Samples()[i].content);
        // Only the check byte guards an empty entry (1 in 256 wrong passwords pass it).
        if (!plain->isEmpty()) {
            EXPECT_FALSE(OpenEntry(entries[i], "lion").has_value());
        }
    }
    EXPECT_TRUE(sawDescriptor);  // zip's way: the time's byte is the check byte
}

TEST(ZipCryptoTest, DecryptsWhatTheArchiveWriterEncrypted) {
    TempDir dir;
    ArchiveList list;
    for (const SampleFile& sample : Samples()) {
        list.Add(dir.Write(sample.name, sample.content), sample.name, false);
    }
    list.Add(dir.Path(), "folder/", false);
    const QString archive = dir.File("ours.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 6, QString::fromUtf8("tïger"), StopSignal()));

    const std::vector<RawEntry> entries = ReadRawEntries(archive);
    ASSERT_EQ(entries.size(), Samples().size() + 1);
    for (size_t i = 0; i < Samples().size(); ++i) {
        SCOPED_TRACE(entries[i].name.toStdString());
        EXPECT_EQ(entries[i].info.flag & 9, 1u);  // encrypted, sizes in the header
        const std::optional<QByteArray> plain = OpenEntry(entries[i], "t\xc3\xafger");
        ASSERT_TRUE(plain.has_value());
        EXPECT_EQ(*plain, Samples()[i].content);
        if (!plain->isEmpty()) {
            EXPECT_FALSE(OpenEntry(entries[i], "tiger").has_value());
        }
    }
    // The folder entry is not encrypted: the bare end marker of a deflate stream.
    EXPECT_EQ(entries.back().info.flag & 1, 0u);
    EXPECT_EQ(entries.back().raw, QByteArray::fromHex("0300"));
}

}  // namespace
}  // namespace corvane
