#pragma once
// Moving bytes between the chip image and the hex pane. The pane works on its
// own copy; edits reach the image only through SyncBufferFromEditor.
#include "buffer/Checksum.h"

#include <cstdint>
#include <optional>

namespace vantor {

class DataBuffer;
class HexEditorControl;

// Shows the first flashSize bytes of the image in the pane (never more than
// the image holds), dropping edits the pane had not handed over.
void RefreshHexView(const DataBuffer& buffer, HexEditorControl& editor, uint32_t flashSize);

// When the pane holds edits: UsedLength becomes the pane's size, or
// flashSize when that is smaller, and that many bytes are copied from the
// pane into the image, and the rest of the chip's range is set to 0xFF; the
// pane then counts as unmodified. Otherwise nothing.
void SyncBufferFromEditor(DataBuffer& buffer, HexEditorControl& editor, uint32_t flashSize);

// The checksums of exactly what Save and Write take from the pane as it is
// now: its first flashSize bytes, 0xFF after its end when it is shorter.
// Nothing for an empty pane.
std::optional<Checksums> SavedImageChecksums(const HexEditorControl& editor, uint32_t flashSize);

} // namespace vantor
