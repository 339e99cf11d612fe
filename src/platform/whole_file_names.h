// How a staged file is named beside its target, for both systems' writers:
// TARGET.tmp-PID-N, the process id keeping processes apart and a counter the
// files of one process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

inline constexpr const char* TemporaryMark = ".tmp-";

// The process id of `name` when it is exactly `prefix` (the target's file
// name and the mark) followed by PID-N written as this writer writes them.
std::optional<std::uint32_t> TemporaryOwner(const char* name, const std::string& prefix);

}  // namespace platform
