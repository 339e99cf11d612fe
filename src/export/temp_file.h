// Writing a file so that it appears whole or not at all: the bytes go to a
// fresh temporary file in the target's folder, which is renamed over the
// target only when every write and the close succeeded.
#pragma once

#include <cstdint>
#include <string>

namespace exporting {

struct TempFile {
    int fd = -1;       // open for writing; -1 when none could be created
    std::string path;  // its name, beside the target
};

// Creates a new, empty file beside `target` that no other name refers to.
TempFile CreateTempBeside(const std::string& target);
// Writes all `count` bytes, retrying short writes; false on any error.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count);
// Flushes and closes temp.fd (when still open) and renames the file over
// `target`. On any failure the temporary file is removed and false given.
bool CommitTemp(TempFile& temp, const std::string& target);
// Closes temp.fd (when still open) and removes the temporary file.
void DiscardTemp(TempFile& temp);

}  // namespace exporting
