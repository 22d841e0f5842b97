#include "engine/DeflateBlock.h"

#include <cstring>

namespace corvane {

namespace {

// Room for a whole block's output in one deflate call at any level, the sync flush's
// empty stored block included; more is added should zlib ever need it.
constexpr size_t kOutputCapacity = DeflateBlock::kBlockSize + DeflateBlock::kBlockSize / 64 + 256;

}  // namespace

DeflateBlock::DeflateBlock()
    : m_input(new unsigned char[kDictionarySize + kInputCapacity]),
      m_output(new unsigned char[kOutputCapacity]),
      m_outputCapacity(kOutputCapacity) {}

void DeflateBlock::StartFirst() {
    first = true;
    last = false;
    m_size = 0;
    m_dictionarySize = 0;
}

void DeflateBlock::ContinueFrom(DeflateBlock& previous) {
    first = false;
    last = false;
    m_dictionarySize = kDictionarySize;
    std::memcpy(m_input.get(), previous.Data() + kBlockSize - kDictionarySize, kDictionarySize);
    Data()[0] = previous.Data()[kBlockSize];
    m_size = 1;
    previous.m_size = kBlockSize;
}

bool DeflateBlock::Deflate(z_stream& stream) {
    m_crc = quint32(crc32(crc32(0, Z_NULL, 0), Data(), uInt(m_size)));
    m_outputSize = 0;
    if (deflateReset(&stream) != Z_OK ||
        (m_dictionarySize > 0 &&
         deflateSetDictionary(&stream, m_input.get(), uInt(m_dictionarySize)) != Z_OK)) {
        return false;
    }
    stream.next_in = Data();
    stream.avail_in = uInt(m_size);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        stream.next_out = m_output.get() + m_outputSize;
        stream.avail_out = uInt(m_outputCapacity - m_outputSize);
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR) {
            return false;
        }
        m_outputSize = m_outputCapacity - stream.avail_out;
        // A sync flush is complete when deflate left room in the output; the end, when
        // deflate reports it.
        if (last ? result == Z_STREAM_END : stream.avail_out != 0) {
            return true;
        }
        if (stream.avail_out == 0) {
            GrowOutput();
        }
    }
}

void DeflateBlock::GrowOutput() {
    const size_t capacity = m_outputCapacity * 2;
    std::unique_ptr<unsigned char[]> output(new unsigned char[capacity]);
    std::memcpy(output.get(), m_output.get(), m_outputSize);
    m_output = std::move(output);
    m_outputCapacity = capacity;
}

}  // namespace corvane
