#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The spreadsheet program: found, started on a file and waited for; whether it runs.
namespace hsc {

// A file's last-write time in local calendar fields. The nanoseconds are compared too,
// so a save within the same second as the previous write still counts as a change.
struct FileTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long nanosecond = 0;
    bool operator==(const FileTime&) const = default;
};

// A command that starts the spreadsheet application on one file.
struct SpreadsheetCommand {
    std::filesystem::path program;  // argv[0] found on the search path
    std::vector<std::string> argv;  // with the file's path already in place
    std::string process_name;       // executable name its running process shows
};

// Where the Linux platform looks for the spreadsheet application. Read from the
// environment by from_environment(); tests fill it themselves.
struct SpreadsheetLookup {
    std::optional<std::string> override_command;  // HUSHCEL_SPREADSHEET
    std::string desktop_id;                       // xdg-mime's default for xlsx, may be empty
    std::vector<std::filesystem::path> data_dirs; // XDG_DATA_HOME, then XDG_DATA_DIRS
    std::string search_path;                      // PATH
    std::vector<std::string> registered_argv;     // Windows: the registered automation server

    static SpreadsheetLookup from_environment();
};

inline constexpr std::string_view XLSX_MIME_TYPE =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// Splits a command line into words: blanks separate, double and single quotes group,
// a backslash outside single quotes escapes the next character. nullopt when a quote
// is left open.
std::optional<std::vector<std::string>> split_command_line(std::string_view line);

// The argv of a desktop entry's Exec value for one file: %f %F %u %U become the path,
// %% a percent sign, the other field codes are dropped; without a file code the path is
// appended. nullopt for an Exec value that does not parse.
std::optional<std::vector<std::string>> desktop_exec_argv(std::string_view exec, const std::string& file);

// The Exec value of the [Desktop Entry] group of the entry desktop_id, looked up in
// data_dirs/applications (a '-' in the id may stand for a subfolder). nullopt when not found.
std::optional<std::string> find_desktop_exec(std::string_view desktop_id,
                                             const std::vector<std::filesystem::path>& data_dirs);

// A program name resolved on the search path (names with a slash are taken as they are).
std::optional<std::filesystem::path> find_program(std::string_view name, std::string_view search_path);

// The command that opens file: the override, else the desktop's default application
// for xlsx, else LibreOffice Calc when it is installed.
std::optional<SpreadsheetCommand> resolve_spreadsheet(const SpreadsheetLookup& lookup, const std::string& file);

namespace os {
// Whether a running process's executable (/proc/<pid>/exe on Linux) has the file name
// name. Processes that cannot be looked at are skipped.
bool process_running(std::string_view name);
// The local last-write time of path; false when it cannot be found.
bool file_time(const std::filesystem::path& path, FileTime& time);
// Starts program with argv and waits for it to end; false when it cannot start.
bool run_and_wait(const std::filesystem::path& program, const std::vector<std::string>& argv);
}  // namespace os

}  // namespace hsc
