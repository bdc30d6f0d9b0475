#pragma once

#include <filesystem>

#include "shell/shell.h"

namespace hsc {

// The settings file as the shell's store.
class IniSettingsStore final : public SettingsStore {
public:
    explicit IniSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}
    int read(MaskSettings& settings) override;
    std::vector<std::string> unreadable_fields() const override { return unreadable_; }
    int write(const MaskSettings& settings) override;
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    std::vector<std::string> unreadable_;
};

}  // namespace hsc
