#include "install/entry_data.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>

namespace varnel {

struct ZstdDecoder::State {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    ZSTD_inBuffer in{nullptr, 0, 0};
    ~State() { ZSTD_freeDCtx(context); }
};

ZstdDecoder::ZstdDecoder() : state_(std::make_unique<State>()) {
    if (state_->context) ZSTD_DCtx_setParameter(state_->context, ZSTD_d_windowLogMax, kZstdMaxWindowLog);
}
ZstdDecoder::~ZstdDecoder() = default;

EntryData::~EntryData() {
    if (open_ && !zstdEntry_) unzCloseCurrentFile(archive_);
}

bool EntryData::Open(const ZipEntry& entry) {
    if (!IsReadableMethod(entry.method) || (entry.flags & 1)) return false;
    zstdEntry_ = entry.method == kMethodZstd;
    expectedCrc_ = entry.crc;
    expectedSize_ = entry.uncompressedSize;
    crc_ = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    if (!zstdEntry_) {
        open_ = unzOpenCurrentFile(archive_) == UNZ_OK;
        return open_;
    }
    if (entry.dataOffset > bytes_.size() || bytes_.size() - entry.dataOffset < entry.compressedSize) return false;
    if (!zstd_) zstd_ = std::make_unique<ZstdDecoder>();
    auto& state = *zstd_->state_;
    if (!state.context) return false;
    ZSTD_DCtx_reset(state.context, ZSTD_reset_session_only);
    state.in = {bytes_.data() + entry.dataOffset, static_cast<std::size_t>(entry.compressedSize), 0};
    frameEnded_ = false;
    open_ = true;
    return true;
}

int EntryData::Read(std::uint8_t* out, unsigned size) {
    if (!open_ || size == 0) return open_ ? 0 : -1;
    int n;
    if (!zstdEntry_) {
        n = unzReadCurrentFile(archive_, out, size);
    } else {
        auto& state = *zstd_->state_;
        ZSTD_outBuffer output{out, size, 0};
        // An entry is one or more frames; decoding goes on until the output
        // has something or the data has run dry at the end of a frame.
        while (!(frameEnded_ && state.in.pos == state.in.size)) {
            const std::size_t hint = ZSTD_decompressStream(state.context, &output, &state.in);
            if (ZSTD_isError(hint)) return -1;
            frameEnded_ = hint == 0;
            if (output.pos > 0) break;
            if (state.in.pos == state.in.size && !frameEnded_) return -1;  // cut short
        }
        n = static_cast<int>(output.pos);
    }
    if (n > 0) {
        // minizip keeps the CRC of what it reads; Zstandard data's is kept here.
        if (zstdEntry_) crc_ = static_cast<std::uint32_t>(crc32(crc_, out, static_cast<uInt>(n)));
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
    // minizip's close checks the CRC of what it read.
    const bool checked = zstdEntry_ ? crc_ == expectedCrc_ : unzCloseCurrentFile(archive_) == UNZ_OK;
    return ended_ && checked && total_ == expectedSize_;
}

}  // namespace varnel
