#pragma once
// Find and go-to in the hex pane: what the pattern and offset texts mean, the
// search over the bytes, and moving the caret and selection to the result.
// Plain C++ on HexEditorCore, so it is tested without a window.
#include "controls/HexEditorCore.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vantor::hex {

// "DE AD BE EF", "deadbeef", "DE,AD": pairs of hex digits, blanks and commas
// between bytes ignored. Nothing when the text is empty or not hex pairs.
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text);

// An offset as typed: hex ("1A2B", "0x1A2B", "1A2Bh") when `hex`, else
// decimal. Nothing when it is not a number or does not fit.
std::optional<std::size_t> ParseOffset(std::string_view text, bool hex);

// Where `pattern` starts in `data`: forward, the first match at or after
// `from`, else the first one before it (wrapping); backward, the last match
// starting before `from`, else the last one at or after it. Nothing when the
// pattern is empty, longer than the data, or absent.
std::optional<std::size_t> FindPattern(std::span<const uint8_t> data,
                                       std::span<const uint8_t> pattern, std::size_t from,
                                       bool forward);

// The last search, for F3 and Shift+F3.
struct SearchRequest {
    std::vector<uint8_t> pattern;
    bool forward = true;
};

// Searches from the caret (forward: past the start of the current selection,
// so repeating finds the next hit), selects the hit and scrolls it into view.
// False, and nothing moved, when the pattern is absent.
bool FindNext(HexEditorCore& core, std::span<const uint8_t> pattern, bool forward);

// Puts the caret on `offset`, drops the selection and scrolls it into view;
// false (nothing moved) when the offset lies outside the content.
bool GoToOffset(HexEditorCore& core, std::size_t offset);

} // namespace vantor::hex
