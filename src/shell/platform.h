#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/spreadsheet.h"

namespace hsc {

// What the shell needs of the operating system around the spreadsheet application.
class Platform {
public:
    virtual ~Platform() = default;
    // 0 and the file's last-write time; -101 when the file cannot be found.
    virtual int get_file_time(const std::filesystem::path& path, FileTime& time) = 0;
    // 0 when the spreadsheet application is running, -1 when it is not.
    virtual int find_spreadsheet_process() = 0;
    // Starts the spreadsheet application on path and waits until it ends: 0; -1 when
    // no application is known or it cannot be started.
    virtual int open_with_excel(const std::filesystem::path& path) = 0;
};

// 0 when a running process's executable has the file name name, -1 otherwise.
int hsc_find_process(std::string_view name);
// Local last-write time of path; 0, or -101 when it cannot be found.
int hsc_get_file_time(const std::filesystem::path& path, FileTime& time);
// Starts program with argv and waits for it to end: 0; -1 when it cannot start.
int run_and_wait(const std::filesystem::path& program, const std::vector<std::string>& argv);

// The platform through the system's own ways (a desktop entry and /proc on Linux).
class LinuxPlatform final : public Platform {
public:
    LinuxPlatform() = default;
    explicit LinuxPlatform(SpreadsheetLookup lookup) : lookup_(std::move(lookup)) {}

    int get_file_time(const std::filesystem::path& path, FileTime& time) override;
    int find_spreadsheet_process() override;
    int open_with_excel(const std::filesystem::path& path) override;

private:
    SpreadsheetLookup lookup();
    std::optional<SpreadsheetLookup> lookup_;
};

}  // namespace hsc
