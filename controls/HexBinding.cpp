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
    editor.SetModified(false);
}

} // namespace vantor
