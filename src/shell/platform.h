#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hsc {

// A file's last-write time in local calendar fields. The nanoseconds are compared too,
// so a save within the same second as the previous write still counts as a change.
struct FileTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long nanosecond = 0;
    bool operator==(const FileTime&) const = default;
};

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

// ---- Linux ----

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

// 0 when a running process's executable (/proc/<pid>/exe) has the file name name,
// -1 otherwise. Processes that cannot be looked at are skipped.
int hsc_find_process(std::string_view name);

// The password and the deciphered text live in this process's memory: no core file is
// written when it crashes, and other processes of the same user cannot read it through
// the debugger interface. Called first thing by both programs; true when both held.
bool keep_memory_private();

// Local last-write time of path; 0, or -101 when it cannot be found.
int hsc_get_file_time(const std::filesystem::path& path, FileTime& time);

// Starts program with argv and waits for it to end: 0; -1 when it cannot start.
int run_and_wait(const std::filesystem::path& program, const std::vector<std::string>& argv);

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
