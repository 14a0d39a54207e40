#pragma once
// Moving bytes between the chip image and the hex pane. The pane works on its
// own copy; edits reach the image only through SyncBufferFromEditor.
#include <cstdint>

namespace vantor {

class DataBuffer;
class HexEditorControl;

// Shows the first flashSize bytes of the image in the pane (never more than
// the image holds), dropping edits the pane had not handed over.
void RefreshHexView(const DataBuffer& buffer, HexEditorControl& editor, uint32_t flashSize);

// When the pane holds edits: UsedLength becomes the pane's size, or
// flashSize when that is smaller, and that many bytes are copied from the
// pane into the image; the pane then counts as unmodified. Otherwise nothing.
void SyncBufferFromEditor(DataBuffer& buffer, HexEditorControl& editor, uint32_t flashSize);

} // namespace vantor
