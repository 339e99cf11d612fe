// The parts of the whole-or-nothing writer that both systems share.
#include <cstring>
#include <utility>

#include "platform/whole_file.h"
#include "platform/whole_file_names.h"

namespace platform {

std::optional<std::uint32_t> TemporaryOwner(const char* name, const std::string& prefix) {
    if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
        return std::nullopt;
    const char* digits = name + prefix.size();
    const std::size_t pidLength = std::strspn(digits, "0123456789");
    if (pidLength == 0 || pidLength > 10 || digits[0] == '0' || digits[pidLength] != '-')
        return std::nullopt;
    std::uint64_t pid = 0;
    for (std::size_t i = 0; i < pidLength; ++i)
        pid = pid * 10 + static_cast<std::uint64_t>(digits[i] - '0');
    const char* counter = digits + pidLength + 1;
    const std::size_t counterLength = std::strspn(counter, "0123456789");
    if (pid > 0xFFFFFFFFu || counterLength == 0 || counter[counterLength] != '\0' ||
        (counter[0] == '0' && counterLength > 1))
        return std::nullopt;
    return static_cast<std::uint32_t>(pid);
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, {})),
      slot_(std::exchange(other.slot_, -1)) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, {});
        slot_ = std::exchange(other.slot_, -1);
    }
    return *this;
}

StagedFile::~StagedFile() {
    Discard();
}

bool WriteWholeFile(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error) {
    StagedFile file;
    return file.Stage(target, bytes, error) && file.Commit(error);
}

}  // namespace platform
