#pragma once

// One block of an entry's data and its deflated form.
//
// An entry's data is cut into blocks of kBlockSize bytes (the last one shorter), each
// deflated on its own: with the last 32 KiB of the block before as preset dictionary,
// so matches reach back as in one stream, and ended with a sync flush (the entry's last
// block with the end of the stream), so that the blocks' outputs, one after the other,
// are one raw deflate stream. Where a block starts depends only on the data, so the
// same files give the same bytes whichever thread deflates which block.

#include <zlib.h>

#include <QtGlobal>
#include <cstddef>
#include <memory>

namespace corvane {

class DeflateBlock {
  public:
    static constexpr size_t kBlockSize = 131072;
    static constexpr size_t kDictionarySize = 32768;  // the deflate window
    // One byte past a block: a read that fills it shows the data goes on.
    static constexpr size_t kInputCapacity = kBlockSize + 1;

    DeflateBlock();

    // The data area; Size() bytes of it are the block's data.
    unsigned char* Data() { return m_input.get() + kDictionarySize; }
    const unsigned char* Data() const { return m_input.get() + kDictionarySize; }
    size_t Size() const { return m_size; }
    void SetSize(size_t size) { m_size = size; }

    // Starts an entry's first block: no dictionary, no data.
    void StartFirst();
    // Starts the block after `previous`, which holds one byte past a full block: takes
    // its last kDictionarySize bytes as dictionary and that byte as the first of its
    // data, and cuts `previous` to kBlockSize.
    void ContinueFrom(DeflateBlock& previous);

    bool first = false;  // the first block of its entry
    bool last = false;   // the last block of its entry: ends the stream

    // Deflates the data with `stream` (raw deflate, any level), set at its start with
    // deflateReset; computes the CRC-32 of the data. False only when zlib refuses.
    bool Deflate(z_stream& stream);

    // What Deflate made.
    unsigned char* Output() { return m_output.get(); }
    size_t OutputSize() const { return m_outputSize; }
    quint32 Crc() const { return m_crc; }

  private:
    void GrowOutput();

    std::unique_ptr<unsigned char[]> m_input;  // dictionary, then data
    size_t m_size = 0;
    size_t m_dictionarySize = 0;
    std::unique_ptr<unsigned char[]> m_output;
    size_t m_outputCapacity = 0;
    size_t m_outputSize = 0;
    quint32 m_crc = 0;
};

}  // namespace corvane
