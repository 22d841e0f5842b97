#include "restore/ZipEntryDecoder.h"

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
    m_deflated = deflated;
    m_encrypted = encrypted;
    m_crypto.reset();
    if (encrypted) {
        m_crypto.emplace(password);
    }
    m_checkByte = checkByte;
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
    if (m_encrypted) {
        // The header may arrive in pieces; the data follows it.
        if (m_headerFill < ZipCrypto::kHeaderSize) {
            const size_t take = std::min(size, size_t(ZipCrypto::kHeaderSize - m_headerFill));
            std::copy(data, data + take, m_header + m_headerFill);
            m_headerFill += int(take);
            data += take;
            size -= take;
            if (m_headerFill == ZipCrypto::kHeaderSize &&
                !m_crypto->DecryptHeader(m_header, m_checkByte)) {
                return Status::kWrongPassword;
            }
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

ZipEntryDecoder::Status ZipEntryDecoder::Finish() {
    if (m_encrypted && m_headerFill < ZipCrypto::kHeaderSize) {
        return Status::kDamaged;
    }
    // Some writers store an empty file as a deflated entry without a single byte.
    if (m_deflated && !m_streamEnded && (m_sawData || m_expectedSize != 0)) {
        return Status::kDamaged;
    }
    if (m_produced != m_expectedSize || m_crc != m_expectedCrc) {
        return Status::kDamaged;
    }
    return Status::kOk;
}

}  // namespace corvane
