#pragma once

// Turns the raw bytes of one ZIP entry, as minizip's raw mode reads them, into the
// entry's content: the traditional PKWARE decryption (12-byte header with its check
// byte) or the AES decryption (salt, password verifier, data, authentication code: see
// engine/ZipAes.h), inflate of deflated data (method 8) or the bytes as they are (method
// 0), and at the end the check of length and CRC-32 against the central directory (an
// AE-2 entry has no CRC: its authentication code is checked instead).
//
// Bytes are fed in pieces of any size; the content leaves through a sink in pieces of
// at most the decoder's output buffer, so no entry is ever held whole in memory. The
// content never runs past the size the directory declares: a larger stream is damaged
// and stops before the excess reaches the sink.
//
// One decoder serves any number of entries one after the other (Start before each);
// its inflate state and output buffer are reused. Not thread-safe.

#include <zlib.h>

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "engine/ZipAes.h"
#include "engine/ZipCrypto.h"

namespace corvane {

class ZipEntryDecoder {
  public:
    enum class Status {
        kOk,
        kWrongPassword,  // the header's check byte or the AES verifier did not match
        kDamaged,        // bad deflate data, too short or too long, CRC or code mismatch
        kSinkFailed,     // the sink answered false
    };
    // Receives content; answers false to stop the entry.
    using Sink = std::function<bool(const char* data, size_t size)>;

    static constexpr size_t kOutputSize = 64 * 1024;

    ZipEntryDecoder();
    ~ZipEntryDecoder();
    ZipEntryDecoder(const ZipEntryDecoder&) = delete;
    ZipEntryDecoder& operator=(const ZipEntryDecoder&) = delete;

    // Prepares for one entry. `deflated`: method 8, else method 0. `password` (its bytes
    // as hashed) is used when `encrypted`; `checkByte` is what the decrypted header must
    // end in. `size` and `crc` are the directory's values the content must match.
    void Start(bool deflated, bool encrypted, const QByteArray& password, unsigned char checkByte,
               quint64 size, quint32 crc);
    // Prepares for one AES entry of `storedSize` bytes (as the directory says), AE-1 or
    // AE-2 (`version`), of `strength` 1..3; the other values as for Start.
    void StartAes(bool deflated, const QByteArray& password, int version, int strength,
                  quint64 storedSize, quint64 size, quint32 crc);
    // Raw bytes of the entry, in order; `data` is decrypted in place. Any status but kOk
    // ends the entry.
    Status Feed(unsigned char* data, size_t size, const Sink& sink);
    // After the last raw byte: whether the content was whole and right.
    Status Finish();

  private:
    void Reset(bool deflated, quint64 size, quint32 crc);
    bool TakeHeader(unsigned char*& data, size_t& size);
    // Takes the AES header and the code from the bytes; `size` is left as the data's.
    Status TakeAes(unsigned char*& data, size_t& size);
    Status FinishAes();
    Status Emit(const char* data, size_t size, const Sink& sink);
    Status Inflate(unsigned char* data, size_t size, const Sink& sink);

    bool m_deflated = false;
    bool m_encrypted = false;
    std::optional<ZipCrypto> m_crypto;
    unsigned char m_checkByte = 0;
    // The traditional header, or an AES entry's salt and verifier.
    unsigned char m_header[std::max<size_t>(ZipCrypto::kHeaderSize,
                                            ZipAes::kMaxSaltSize + ZipAes::kVerifierSize)] = {};
    int m_headerSize = ZipCrypto::kHeaderSize;
    int m_headerFill = 0;

    std::unique_ptr<ZipAes> m_aes;  // made on the first AES entry
    bool m_aesEntry = false;
    int m_aesVersion = 0;
    int m_aesStrength = 0;
    QByteArray m_password;
    bool m_aesSizeWrong = false;  // too small to hold header and code
    quint64 m_aesDataLeft = 0;    // encrypted data still to come
    unsigned char m_mac[ZipAes::kMacSize] = {};
    size_t m_macFill = 0;
    quint64 m_expectedSize = 0;
    quint32 m_expectedCrc = 0;
    quint64 m_produced = 0;
    quint32 m_crc = 0;
    bool m_streamEnded = false;
    bool m_sawData = false;  // any byte of content data (after the header) arrived

    z_stream m_stream = {};
    bool m_streamReady = false;
    std::unique_ptr<unsigned char[]> m_output;
};

}  // namespace corvane
