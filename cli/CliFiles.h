#pragma once
// The data files a command reads and writes: loaded by the window's Open
// rules and saved by its Save rules, with everything that would refuse
// the output checked before the chip is touched.
#include "buffer/DataBuffer.h"
#include "cli/CliHost.h"

#include <cstdint>
#include <string>

namespace vantor {

// "-" names the standard output.
std::string OutputPath(const std::string& path);

// A regular file this user can open for reading.
bool ReadableFile(const std::string& path);

// Loads `path` by the Open rules; kDone, or kBadInput after saying why.
int LoadInput(DataBuffer& buffer, const std::string& path, CliPrompts& prompts);

// Refuses up front a save over an existing file that would be declined
// anyway, before a read spends minutes on the chip.
bool OverwriteDeclinedAhead(const std::string& path, bool assumeYes);

// Whether a save could create or replace `path`: its folder must take a new
// file (saves go through a temporary file beside the target) and an
// existing regular file must be writable. FIFOs and devices are written
// straight through. Says why not, naming the file.
bool OutputCreatable(const std::string& path);

// Saves `count` bytes by the Save rules; kDone, kFailed when the overwrite
// was declined, kBadInput when the file could not be written.
int SaveOutput(const DataBuffer& buffer, const std::string& path, std::uint32_t count,
               CliPrompts& prompts);

} // namespace vantor
