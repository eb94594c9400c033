// Reading the image data of an 8-bit RGB PNG without libspng: its chunks checked, its rows
// inflated on this thread and unfiltered on a second one.
#include "PngImageData.h"

#include "PngRows.h"
#include "PngSpng.h"
#include "Ui.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

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
        if (chunk.is("IDAT")) {
            if (carrier.firstIdat != 0 && carrier.lastIdat != k - 1)
                return false;
            carrier.firstIdat = carrier.firstIdat ? carrier.firstIdat : k;
            carrier.lastIdat = k;
        } else if (toSplice ? chunk.is("tRNS") || (!(chunk.type[0] & kLowerCaseBit) && !chunk.is("IEND"))
                            : !(chunk.type[0] & kLowerCaseBit) && !chunk.is("IEND") && !chunk.is("PLTE")) {
            return false;
        }
    }
    return carrier.firstIdat != 0;
}

ScanEnd InflateRows(const Carrier& carrier, int64_t lastRow, const Inflated& inflated, const RowTaker& take)
{
    const size_t rowBytes = RowBytes(carrier.width);
    const size_t batchRows = std::max<size_t>(1, kBatchBytes / rowBytes);
    const int64_t total = (lastRow + 1) * int64_t(rowBytes);
    const bool whole = lastRow + 1 == carrier.height;
    std::vector<uint8_t> batches[2];
    std::vector<uint8_t> carry;
    try {
        for (std::vector<uint8_t>& batch : batches)
            batch.resize(batchRows * rowBytes);
        carry.assign(rowBytes - 1, 0);
    } catch (const std::bad_alloc&) {
        return ScanEnd::Unsuitable;
    }
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        return ScanEnd::Unsuitable;
    std::thread worker;
    bool unfiltered = true;  // written by the worker, read once it is joined
    bool aborted = false;
    int current = 0;
    size_t filled = 0;    // bytes in the current batch
    int64_t produced = 0;  // bytes of rows inflated
    int64_t firstY = 0;    // the current batch's first row
    const auto join = [&] {
        if (worker.joinable())
            worker.join();
        return unfiltered;
    };
    // The current batch to the worker (or unfiltered here when no thread can be started).
    const auto handOff = [&] {
        if (!join())
            return false;
        Yield();
        if ((aborted = gAbort))
            return false;
        uint8_t* batch = batches[current].data();
        const size_t rows = filled / rowBytes;
        const int64_t y = firstY;
        const auto work = [&, batch, rows, y] { unfiltered = unfilterBatch(batch, rows, rowBytes, y, carry, take); };
        try {
            worker = std::thread(work);
        } catch (const std::system_error&) {
            work();
        }
        current ^= 1;
        firstY += int64_t(rows);
        filled = 0;
        return true;
    };
    int status = Z_OK;
    uint8_t lastByte = 0;
    uint8_t spare = 0;     // room for a byte past the rows: there must be none
    bool stopped = false;  // at lastRow, before the stream's end
    const bool read = ForEachPiece(*carrier.file, carrier.chunks, [&](const uint8_t* bytes, size_t count) {
        z.next_in = const_cast<uint8_t*>(bytes);
        z.avail_in = uInt(count);
        while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
            std::vector<uint8_t>& batch = batches[current];
            const auto room = size_t(std::min<int64_t>(int64_t(batch.size() - filled), total - produced));
            uint8_t* out = room > 0 ? batch.data() + filled : &spare;
            z.next_out = out;
            z.avail_out = uInt(room > 0 ? room : 1);
            status = inflate(&z, inflated ? Z_BLOCK : Z_NO_FLUSH);
            if (status == Z_BUF_ERROR)
                status = Z_OK;
            if (z.next_in != bytes)
                lastByte = z.next_in[-1];
            const auto n = size_t(z.next_out - out);
            if ((status != Z_OK && status != Z_STREAM_END) || (room == 0 && n > 0))
                return false;
            if (inflated && !inflated(z, lastByte, out, n))
                return false;
            filled += n;
            produced += int64_t(n);
            if ((filled == batch.size() || produced == total) && filled > 0 && !handOff())
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
    const bool rows = join() && produced == total;
    inflateEnd(&z);
    if (aborted)
        return ScanEnd::Aborted;
    return rows && (whole ? read && status == Z_STREAM_END : stopped) ? ScanEnd::Done : ScanEnd::Unsuitable;
}

}  // namespace mirel::png
