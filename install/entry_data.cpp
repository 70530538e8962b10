#include "install/entry_data.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>

namespace varnel {

struct ZstdDecoder::State {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    std::vector<std::uint8_t> input = std::vector<std::uint8_t>(ZSTD_DStreamInSize());
    ZSTD_inBuffer in{nullptr, 0, 0};
    ~State() { ZSTD_freeDCtx(context); }
};

ZstdDecoder::ZstdDecoder() : state_(std::make_unique<State>()) {}
ZstdDecoder::~ZstdDecoder() = default;

EntryData::~EntryData() {
    if (open_) unzCloseCurrentFile(archive_);
}

bool EntryData::Open(const ZipEntry& entry) {
    if (!IsReadableMethod(entry.method) || (entry.flags & 1)) return false;
    zstdEntry_ = entry.method == kMethodZstd;
    expectedCrc_ = entry.crc;
    expectedSize_ = entry.uncompressedSize;
    rawLeft_ = entry.compressedSize;
    crc_ = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    open_ = unzOpenCurrentFile3(archive_, nullptr, nullptr, zstdEntry_ ? 1 : 0, nullptr) == UNZ_OK;
    if (open_ && zstdEntry_) {
        if (!zstd_) zstd_ = std::make_unique<ZstdDecoder>();
        auto& state = *zstd_->state_;
        if (!state.context) return false;
        ZSTD_DCtx_reset(state.context, ZSTD_reset_session_only);
        state.in = {state.input.data(), 0, 0};
    }
    return open_;
}

int EntryData::Read(std::uint8_t* out, unsigned size) {
    if (!open_ || size == 0) return open_ ? 0 : -1;
    int n;
    if (!zstdEntry_) {
        n = unzReadCurrentFile(archive_, out, size);
    } else {
        auto& state = *zstd_->state_;
        ZSTD_outBuffer output{out, size, 0};
        // Frames may end mid-buffer; one entry is one or more frames, all
        // of it decoded until both the raw data and the decoder run dry.
        while (output.pos == 0) {
            if (state.in.pos == state.in.size && rawLeft_ > 0) {
                const auto want = static_cast<unsigned>(std::min<std::uint64_t>(rawLeft_, state.input.size()));
                const int got = unzReadCurrentFile(archive_, state.input.data(), want);
                if (got <= 0) return -1;  // cut short
                rawLeft_ -= static_cast<unsigned>(got);
                state.in = {state.input.data(), static_cast<std::size_t>(got), 0};
            }
            const std::size_t hint = ZSTD_decompressStream(state.context, &output, &state.in);
            if (ZSTD_isError(hint)) return -1;
            const bool drained = state.in.pos == state.in.size && rawLeft_ == 0;
            if (output.pos == 0 && drained) {
                if (hint != 0) return -1;  // the last frame is unfinished
                break;
            }
        }
        n = static_cast<int>(output.pos);
    }
    if (n > 0) {
        crc_ = static_cast<std::uint32_t>(crc32(crc_, out, static_cast<uInt>(n)));
        total_ += static_cast<unsigned>(n);
        if (total_ > expectedSize_) return -1;
    } else if (n == 0) {
        ended_ = true;
    }
    return n;
}

bool EntryData::Finish() {
    if (!open_) return false;
    open_ = false;
    const bool closed = unzCloseCurrentFile(archive_) == UNZ_OK;  // minizip's CRC check, for what it decoded
    return ended_ && closed && total_ == expectedSize_ && crc_ == expectedCrc_;
}

}  // namespace varnel
