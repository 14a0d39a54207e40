#include "controls/HexBinding.h"

#include "buffer/DataBuffer.h"
#include "controls/HexEditorControl.h"

#include <algorithm>
#include <span>

namespace vantor {

void RefreshHexView(const DataBuffer& buffer, HexEditorControl& editor, uint32_t flashSize) {
    // The image itself is the stream: the pane copies straight from it, so a
    // refresh costs one copy and no second 64 MiB block stays allocated.
    const uint32_t n = std::min(flashSize, DataBuffer::size());
    editor.LoadFromStream(std::span<const uint8_t>(buffer.data(), n));
}

void SyncBufferFromEditor(DataBuffer& buffer, HexEditorControl& editor, uint32_t flashSize) {
    if (!editor.GetModified())
        return;
    const uint64_t n = editor.GetDataSize();
    uint64_t used = flashSize < n ? flashSize : n;
    // A chip record larger than the image must not drive a copy past its end.
    used = std::min<uint64_t>(used, DataBuffer::size());
    buffer.UsedLength = static_cast<int32_t>(used);
    editor.ReadBuffer(buffer.data(), 0, static_cast<std::size_t>(used));
    // Bytes deleted in the pane leave the chip's end erased, not holding what
    // the deleted bytes pushed out of view: Save and Write then store exactly
    // what the pane showed, and the checksum can say so.
    const uint64_t image = std::min<uint64_t>(flashSize, DataBuffer::size());
    if (used < image)
        std::fill(buffer.data() + used, buffer.data() + image, uint8_t{0xFF});
    editor.SetModified(false);
}

std::optional<Checksums> SavedImageChecksums(const HexEditorControl& editor, uint32_t flashSize) {
    const std::size_t n = editor.GetDataSize();
    if (n == 0)
        return std::nullopt;
    const std::size_t image = std::min<std::size_t>(flashSize, DataBuffer::size());
    const std::size_t count = std::min(n, image);
    return ComputeChecksumsPadded(editor.core().data(), count, image - count);
}

} // namespace vantor
