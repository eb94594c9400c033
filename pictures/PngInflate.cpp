// Reading the image data of an 8-bit RGB PNG without libspng: its chunks checked, its rows
// inflated on this thread and unfiltered on a second one.
#include "PngImageData.h"

#include "PngRows.h"
#include "PngSpng.h"
#include "Ui.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <future>

namespace mirel::png {

namespace {

// Filtered rows go to the second thread a batch at a time; two batches are held, the one being
// inflated into and the one being unfiltered.
constexpr size_t kBatchBytes = size_t(1) << 20;

// The rows of a batch unfiltered in place, each handed to take; carry holds the row above the
// batch's first (zeros above the picture's first) and receives the batch's last. False for a
// filter type beyond 4.
bool unfilterBatch(uint8_t* batch, size_t rows, size_t rowBytes, int64_t firstY, std::vector<uint8_t>& carry,
                   const RowTaker& take)
{
    const size_t count = rowBytes - 1;
    const uint8_t* above = carry.data();
    for (size_t k = 0; k < rows; ++k) {
        uint8_t* row = batch + k * rowBytes;
        if (!UnfilterRow(row[0], row + 1, above, count))
            return false;
        take(firstY + int64_t(k), row + 1);
        above = row + 1;
    }
    if (rows > 0)
        std::memcpy(carry.data(), above, count);
    return true;
}

// Two batches of filtered rows: the current one, inflated into here, and the one before it,
// unfiltered on a second thread meanwhile (or here, when no thread can be started).
class Batches {
public:
    Batches(size_t rowBytes, const RowTaker& take) : m_rowBytes(rowBytes), m_take(take) {}
    ~Batches() { join(); }

    bool allocate()
    {
        try {
            for (std::vector<uint8_t>& batch : m_batches)
                batch.resize(std::max<size_t>(1, kBatchBytes / m_rowBytes) * m_rowBytes);
            m_carry.assign(m_rowBytes - 1, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    uint8_t* room() { return m_batches[m_current].data() + m_filled; }
    size_t roomLeft() const { return m_batches[m_current].size() - m_filled; }

    // Counts n bytes put at room(); hands the current batch on when it is full or last is set.
    // False when the batch before had a filter type beyond 4 or the user aborted.
    bool filled(size_t n, bool last)
    {
        m_filled += n;
        if (m_filled == 0 || (m_filled < m_batches[m_current].size() && !last))
            return true;
        if (!join())
            return false;
        Yield();
        if ((m_aborted = gAbort))
            return false;
        uint8_t* batch = m_batches[m_current].data();
        const size_t rows = m_filled / m_rowBytes;
        const int64_t y = m_firstY;
        m_unfiltering = StartAside([this, batch, rows, y] {
            return unfilterBatch(batch, rows, m_rowBytes, y, m_carry, m_take);
        });
        m_current ^= 1;
        m_firstY += int64_t(rows);
        m_filled = 0;
        return true;
    }

    // Waits for the batch being unfiltered; false when it had a filter type beyond 4.
    bool join()
    {
        if (m_unfiltering.valid() && !m_unfiltering.get())
            m_damaged = true;
        return !m_damaged;
    }

    bool aborted() const { return m_aborted; }

private:
    const size_t m_rowBytes;
    const RowTaker& m_take;
    std::vector<uint8_t> m_batches[2];
    std::vector<uint8_t> m_carry;  // the row above the batch being unfiltered
    std::future<bool> m_unfiltering;  // the batch before: false for a filter type beyond 4
    bool m_damaged = false;
    bool m_aborted = false;
    int m_current = 0;
    size_t m_filled = 0;   // bytes in the current batch
    int64_t m_firstY = 0;  // the current batch's first row
};

}  // namespace

bool ReadCarrier(BinaryFile& file, Carrier& carrier, bool toSplice)
{
    uint8_t head[kPngSignatureSize];
    if (file.readAt(0, head, sizeof head) || !HasPngSignature(head, sizeof head))
        return false;
    carrier.file = &file;
    if (!ListChunks(file, carrier.chunks))
        return false;
    if (carrier.chunks.empty() || !carrier.chunks.back().is("IEND") || !carrier.chunks.front().is("IHDR") ||
        carrier.chunks.front().length != kIhdrSize)
        return false;
    uint8_t ihdr[kIhdrSize];
    if (file.readAt(carrier.chunks.front().at + kChunkHeaderSize, ihdr, sizeof ihdr))
        return false;
    carrier.width = BigEndian32(ihdr);
    carrier.height = BigEndian32(ihdr + kIhdrHeightOffset);
    // 8-bit RGB, the one compression and filter method, not interlaced.
    const uint8_t kRgb8[] = {kDepth, kColorTypeRgb, 0, 0, 0};
    if (std::memcmp(ihdr + kIhdrDepthOffset, kRgb8, sizeof kRgb8) != 0 ||
        CheckPlainSize(file.path(), carrier.width, uint32_t(carrier.height)))
        return false;
    // The image data in one run; no critical chunk this program does not know. A suggested
    // palette is read past; the splice takes neither it nor transparency.
    for (size_t k = 1; k < carrier.chunks.size(); ++k) {
        const Chunk& chunk = carrier.chunks[k];
        const bool unknownCritical = !(chunk.type[0] & kLowerCaseBit) && !chunk.is("IDAT") && !chunk.is("IEND");
        if (toSplice ? unknownCritical || chunk.is("tRNS") : unknownCritical && !chunk.is("PLTE"))
            return false;
        if (chunk.is("IDAT")) {
            if (carrier.firstIdat != 0 && carrier.lastIdat != k - 1)
                return false;
            carrier.firstIdat = carrier.firstIdat ? carrier.firstIdat : k;
            carrier.lastIdat = k;
        }
    }
    return carrier.firstIdat != 0;
}

ScanEnd InflateRows(const Carrier& carrier, int64_t lastRow, const Inflated& inflated, const RowTaker& take)
{
    const size_t rowBytes = RowBytes(carrier.width);
    const int64_t total = (lastRow + 1) * int64_t(rowBytes);
    const bool whole = lastRow + 1 == carrier.height;
    Batches batches(rowBytes, take);
    z_stream z {};
    if (!batches.allocate() || inflateInit(&z) != Z_OK)
        return ScanEnd::Unsuitable;
    int status = Z_OK;
    int64_t produced = 0;  // bytes of rows inflated
    uint8_t lastByte = 0;
    uint8_t spare = 0;     // room for a byte past the rows: there must be none
    bool stopped = false;  // at lastRow, before the stream's end
    const bool read = ForEachPiece(*carrier.file, carrier.chunks, [&](const uint8_t* bytes, size_t count) {
        z.next_in = const_cast<uint8_t*>(bytes);
        z.avail_in = uInt(count);
        while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
            const auto room = size_t(std::min<int64_t>(int64_t(batches.roomLeft()), total - produced));
            uint8_t* out = room > 0 ? batches.room() : &spare;
            z.next_out = out;
            z.avail_out = uInt(room > 0 ? room : 1);
            status = inflate(&z, inflated ? Z_BLOCK : Z_NO_FLUSH);
            if (status == Z_BUF_ERROR)
                status = Z_OK;
            if (z.next_in != bytes)
                lastByte = z.next_in[-1];
            const auto n = size_t(z.next_out - out);
            if ((status != Z_OK && status != Z_STREAM_END) || (room == 0 && n > 0) ||
                (inflated && !inflated(z, lastByte, out, n)))
                return false;
            produced += int64_t(n);
            if (!batches.filled(room > 0 ? n : 0, produced == total))
                return false;
            if (produced == total && !whole) {
                stopped = true;
                return false;
            }
            if (n == 0 && z.avail_in == 0)
                break;
        }
        // Whatever follows the stream's end in the image data is passed over, its CRC checked.
        return status == Z_OK || status == Z_STREAM_END;
    });
    const bool rows = batches.join() && produced == total;
    inflateEnd(&z);
    if (batches.aborted())
        return ScanEnd::Aborted;
    return rows && (whole ? read && status == Z_STREAM_END : stopped) ? ScanEnd::Done : ScanEnd::Unsuitable;
}

}  // namespace mirel::png
