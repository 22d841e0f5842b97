#include "restore/ZipEntryDecoder.h"

#include <openssl/crypto.h>

#include <algorithm>

namespace corvane {

ZipEntryDecoder::ZipEntryDecoder() = default;

ZipEntryDecoder::~ZipEntryDecoder() {
    if (m_streamReady) {
        inflateEnd(&m_stream);
    }
}

void ZipEntryDecoder::Start(bool deflated, bool encrypted, const QByteArray& password,
                            unsigned char checkByte, quint64 size, quint32 crc) {
    Reset(deflated, size, crc);
    m_encrypted = encrypted;
    if (encrypted) {
        m_crypto.emplace(password);
    }
    m_checkByte = checkByte;
}

void ZipEntryDecoder::StartAes(bool deflated, const QByteArray& password, int version, int strength,
                               quint64 storedSize, quint64 size, quint32 crc) {
    Reset(deflated, size, crc);
    m_encrypted = true;
    m_aesEntry = true;
    if (!m_aes) {
        m_aes = std::make_unique<ZipAes>();
    }
    m_aesVersion = version;
    m_aesStrength = strength;
    m_password = password;
    m_headerSize = int(ZipAes::SaltSize(strength) + ZipAes::kVerifierSize);
    const quint64 around = quint64(m_headerSize) + ZipAes::kMacSize;
    m_aesSizeWrong = ZipAes::SaltSize(strength) == 0 || storedSize < around;
    m_aesDataLeft = m_aesSizeWrong ? 0 : storedSize - around;
}

void ZipEntryDecoder::Reset(bool deflated, quint64 size, quint32 crc) {
    m_deflated = deflated;
    m_encrypted = false;
    m_crypto.reset();
    m_aesEntry = false;
    m_macFill = 0;
    m_headerSize = ZipCrypto::kHeaderSize;
    m_headerFill = 0;
    m_expectedSize = size;
    m_expectedCrc = crc;
    m_produced = 0;
    m_crc = quint32(crc32(0, Z_NULL, 0));
    m_streamEnded = false;
    m_sawData = false;
    if (deflated) {
        // One inflate state for every entry: a reset is far cheaper than a new window.
        if (!m_streamReady) {
            m_stream = {};
            m_streamReady = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
        } else {
            inflateReset(&m_stream);
        }
        if (!m_output) {
            m_output = std::make_unique_for_overwrite<unsigned char[]>(kOutputSize);
        }
    }
}

ZipEntryDecoder::Status ZipEntryDecoder::Feed(unsigned char* data, size_t size, const Sink& sink) {
    if (m_aesEntry) {
        if (const Status status = TakeAes(data, size); status != Status::kOk) {
            return status;
        }
    } else if (m_encrypted) {
        // The header may arrive in pieces; the data follows it.
        if (m_headerFill < m_headerSize && TakeHeader(data, size) &&
            !m_crypto->DecryptHeader(m_header, m_checkByte)) {
            return Status::kWrongPassword;
        }
        m_crypto->Decrypt(data, size);
    }
    if (size == 0) {
        return Status::kOk;
    }
    m_sawData = true;
    if (!m_deflated) {
        return Emit(reinterpret_cast<const char*>(data), size, sink);
    }
    return Inflate(data, size, sink);
}

ZipEntryDecoder::Status ZipEntryDecoder::Inflate(unsigned char* data, size_t size,
                                                 const Sink& sink) {
    if (!m_streamReady) {
        return Status::kDamaged;  // zlib could not set up its state (out of memory)
    }
    if (m_streamEnded) {
        // Bytes after the end of the deflate stream: nothing of the content; a writer
        // that pads is no reason to refuse the entry.
        return Status::kOk;
    }
    // zlib counts input in 32-bit units; the pieces fed here are far smaller.
    m_stream.next_in = data;
    m_stream.avail_in = uInt(size);
    for (;;) {
        m_stream.next_out = m_output.get();
        m_stream.avail_out = uInt(kOutputSize);
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            return Status::kDamaged;
        }
        const size_t produced = kOutputSize - m_stream.avail_out;
        if (produced > 0) {
            const Status status =
                Emit(reinterpret_cast<const char*>(m_output.get()), produced, sink);
            if (status != Status::kOk) {
                return status;
            }
        }
        if (result == Z_STREAM_END) {
            m_streamEnded = true;
            return Status::kOk;
        }
        // Done with this piece when zlib has taken all of it and had room to spare.
        if (m_stream.avail_in == 0 && m_stream.avail_out != 0) {
            return Status::kOk;
        }
        if (result == Z_BUF_ERROR && produced == 0) {
            return Status::kDamaged;  // no progress possible: should not happen
        }
    }
}

ZipEntryDecoder::Status ZipEntryDecoder::Emit(const char* data, size_t size, const Sink& sink) {
    if (size > m_expectedSize - m_produced) {
        return Status::kDamaged;  // more content than the directory declares
    }
    m_produced += size;
    m_crc = quint32(crc32(m_crc, reinterpret_cast<const Bytef*>(data), uInt(size)));
    return sink(data, size) ? Status::kOk : Status::kSinkFailed;
}

// The header may arrive in pieces: takes what is missing of it from the bytes, and
// tells whether it is whole.
bool ZipEntryDecoder::TakeHeader(unsigned char*& data, size_t& size) {
    const size_t take = std::min(size, size_t(m_headerSize - m_headerFill));
    std::copy(data, data + take, m_header + m_headerFill);
    m_headerFill += int(take);
    data += take;
    size -= take;
    return m_headerFill == m_headerSize;
}

// The salt and verifier first (the keys are made once they are whole), then the
// encrypted data, decrypted in place, and the code after it, kept for FinishAes.
ZipEntryDecoder::Status ZipEntryDecoder::TakeAes(unsigned char*& data, size_t& size) {
    if (m_aesSizeWrong) {
        return Status::kDamaged;
    }
    if (m_headerFill < m_headerSize) {
        if (!TakeHeader(data, size)) {
            return Status::kOk;  // the rest of the header comes with the next bytes
        }
        unsigned char verifier[ZipAes::kVerifierSize];
        if (!m_aes->Start(m_password, m_aesStrength, m_header, verifier)) {
            return Status::kDamaged;
        }
        if (CRYPTO_memcmp(verifier, m_header + m_headerSize - ZipAes::kVerifierSize,
                          sizeof verifier) != 0) {
            return Status::kWrongPassword;
        }
    }
    const size_t dataSize = size_t(std::min<quint64>(size, m_aesDataLeft));
    const size_t macSize = size - dataSize;
    if (macSize > ZipAes::kMacSize - m_macFill) {
        return Status::kDamaged;
    }
    std::copy(data + dataSize, data + size, m_mac + m_macFill);
    m_macFill += macSize;
    m_aesDataLeft -= dataSize;
    size = dataSize;
    return m_aes->Decrypt(data, size) ? Status::kOk : Status::kDamaged;
}

// The code proves the stored bytes are the ones the password's owner wrote; an AE-1
// entry's CRC is checked as well.
ZipEntryDecoder::Status ZipEntryDecoder::FinishAes() {
    unsigned char mac[ZipAes::kMacSize];
    if (m_aesSizeWrong || m_headerFill < m_headerSize || m_aesDataLeft != 0 ||
        m_macFill != ZipAes::kMacSize || !m_aes->Mac(mac) ||
        CRYPTO_memcmp(mac, m_mac, sizeof mac) != 0) {
        return Status::kDamaged;
    }
    return Status::kOk;
}

ZipEntryDecoder::Status ZipEntryDecoder::Finish() {
    if (m_aesEntry) {
        if (const Status status = FinishAes(); status != Status::kOk) {
            return status;
        }
    } else if (m_encrypted && m_headerFill < m_headerSize) {
        return Status::kDamaged;
    }
    // Some writers store an empty file as a deflated entry without a single byte.
    if (m_deflated && !m_streamEnded && (m_sawData || m_expectedSize != 0)) {
        return Status::kDamaged;
    }
    // An AE-2 entry's CRC field is 0 by design: its code took the CRC's place.
    const bool checkCrc = !m_aesEntry || m_aesVersion != 2;
    if (m_produced != m_expectedSize || (checkCrc && m_crc != m_expectedCrc)) {
        return Status::kDamaged;
    }
    return Status::kOk;
}

}  // namespace corvane
