// hushcel: the masking pipeline from a terminal.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "core/catalog.h"
#include "core/cp932.h"
#include "core/fail_reason.h"
#include "core/secret.h"
#include "core/status.h"
#include "core/visible_text.h"
#include "engine/choice_text.h"
#include "engine/driver.h"
#include "engine/masked_look.h"
#include "engine/suggest.h"
#include "engine/leak_check.h"
#include "json_text.h"
#include "options.h"
#include "os/atomic_file.h"
#include "os/file.h"
#include "os/system.h"
#include "package/file_type.h"
#include "package/open_package.h"
#include "package/package_entries.h"
#include "password_input.h"
#include "protect/footer.h"
#include "shell/suggestion_text.h"
#include "suggest_json.h"
#include "shell/platform.h"
#include "shell/report_text.h"
#include "shell/settings_file.h"
#include "shell/texts.h"

namespace fs = std::filesystem;
using namespace hsc;
using namespace hsc::cli;

namespace {

#ifdef HUSHCEL_TEST_HOOKS
// Test builds only: the tests' cheap key derivation for new maskings, "PASSES,BYTES" in
// HUSHCEL_TEST_KDF_COST, so that hundreds of runs do not each fill 128 MiB twelve times.
// A release build reads no such variable: nothing outside can lower the cost.
std::optional<KdfCost> test_kdf_cost() {
    const char* text = std::getenv("HUSHCEL_TEST_KDF_COST");
    unsigned ops = 0;
    unsigned long long mem = 0;
    if (!text || std::sscanf(text, "%u,%llu", &ops, &mem) != 2) return std::nullopt;
    return KdfCost{ops, mem};
}
#endif

constexpr int EXIT_ALL_DONE = 0;
constexpr int EXIT_SOME_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_ONLY_REFUSED = 3;
constexpr int EXIT_WARNINGS = 4;  // done, but the report warns: nothing masked, or masked text still readable

// Collects the messages of one file; nobody is asked anything.
class CollectingReporter final : public Reporter {
public:
    void error(std::string_view text) override { errors.emplace_back(text); }
    bool ask_yes_no(std::string_view) override { return false; }
    void info(std::string_view text) override { notices.emplace_back(text); }
    void progress(const Progress& p) override {
        if (on_progress) on_progress(p);
    }
    std::function<void(const Progress&)> on_progress;  // the terminal's progress line
    std::vector<std::string> errors;
    std::vector<std::string> notices;  // warnings about a file that went through
};

struct Result {
    std::string input;
    std::string output;
    const char* action = "mask";
    int status = RC_OK;
    FailReason failure = FailReason::none;  // why, when status is not RC_OK
    bool suggestion = false;                // inspect --suggest
    std::vector<std::string> errors;
    std::vector<std::string> notices;  // from the driver: the compatible format's weakness
    std::string summary;     // the line printed for a success
    std::string json_extra;  // further JSON members (inspect)
    MaskReport report;       // of a masking, or of inspect --leaks
    MergeReport merge;       // of a restore that went cell by cell
};

// A restore into an edited workbook as JSON members: the counts and the cells.
std::string merge_json(const MergeReport& m) {
    const auto cells = [](const std::vector<MergeCell>& list) {
        std::string out = "[";
        for (std::size_t i = 0; i < list.size(); ++i)
            out.append(i ? "," : "")
                .append("{\"sheet\":" + json_string(list[i].sheet) + ",\"cell\":" + json_string(list[i].ref) + "}");
        return out + "]";
    };
    return ",\"merge\":{\"given_back\":" + std::to_string(m.given_back) +
           ",\"left_masked\":" + std::to_string(m.left_masked()) +
           ",\"row_deleted\":" + std::to_string(m.row_deleted.size()) +
           ",\"changed\":" + std::to_string(m.changed.size()) + ",\"cells\":{\"ambiguous\":" + cells(m.ambiguous) +
           ",\"unmatched\":" + cells(m.unmatched) + ",\"row_deleted\":" + cells(m.row_deleted) +
           ",\"changed\":" + cells(m.changed) + "}}";
}

// The report per column as the JSON member "columns".
std::string columns_json(const MaskReport& report) {
    std::string out = ",\"columns\":[";
    for (std::size_t i = 0; i < report.columns.size(); ++i) {
        const ColumnReport& c = report.columns[i];
        const auto n = [](std::size_t v) { return std::to_string(v); };
        std::string found = "[";
        for (std::size_t k = 0; k < c.found_elsewhere.size(); ++k)
            found.append(k ? "," : "")
                .append("{\"kind\":" + json_string(leak_kind_name(c.found_elsewhere[k].kind)) +
                        ",\"part\":" + json_string(c.found_elsewhere[k].part) + "}");
        found += "]";
        out.append(i ? "," : "")
            .append("{\"sheet\":" + json_string(c.sheet) + ",\"part\":" + json_string(c.part) +
                    ",\"column\":" + json_string(column_letters(c.column)) +
                    ",\"header\":" + (c.header.empty() ? std::string("null") : json_string(c.header)) +
                    ",\"masked\":{\"texts\":" + n(c.texts) + ",\"numbers\":" + n(c.numbers) +
                    ",\"dates\":" + n(c.dates) + ",\"formulas\":" + n(c.formulas) +
                    "},\"left\":{\"header\":" + n(c.header_kept) + ",\"formulas\":" + n(c.formulas_left) +
                    ",\"booleans\":" + n(c.booleans) + ",\"errors\":" + n(c.errors) + ",\"empty\":" + n(c.empty) +
                    ",\"numbers_kept\":" + n(c.numbers_kept) + "},\"readable\":{\"unmasked\":" + n(c.unmasked) +
                    ",\"inline_strings\":" + n(c.inline_left) + ",\"found_elsewhere\":" + found +
                    "},\"complete\":" + (c.readable() ? "false" : "true") + "}");
    }
    return out + "]";
}

// The report's counts and warnings as JSON members.
std::string report_json(const MaskReport& report) {
    std::string warnings = "[";
    for (const ReportWarning& w : report_warnings(report)) {
        if (warnings.size() > 1) warnings += ',';
        warnings += "{\"kind\":" + json_string(w.kind) + ",\"parts\":[";
        for (std::size_t i = 0; i < w.parts.size(); ++i) warnings.append(i ? "," : "").append(json_string(w.parts[i]));
        warnings += "]";
        if (!w.header.empty()) warnings += ",\"header\":" + json_string(w.header);
        warnings += "}";
    }
    warnings += "]";
    if (!report.produced) return ",\"warnings\":" + warnings;
    return ",\"shared_strings\":" + std::to_string(report.shared_strings) +
           ",\"cells\":" + (report.cells ? std::to_string(*report.cells) : std::string("null")) +
           ",\"shapes\":" + std::to_string(report.shapes) + ",\"complete\":" + (report.complete() ? "true" : "false") +
           ",\"warnings\":" + warnings + ",\"values\":{\"numbers\":" + std::to_string(report.values.numbers) +
           ",\"dates\":" + std::to_string(report.values.dates) + ",\"texts\":" + std::to_string(report.values.texts) +
           ",\"formulas\":" + std::to_string(report.values.formulas) + ",\"left\":" +
           std::to_string(report.values.left) + ",\"formula_texts\":" + std::to_string(report.values.literals) + "}" +
           columns_json(report);
}

// "strings=12 cells=30 shapes=2" for the line of a file.
std::string report_counts(const MaskReport& report) {
    return "strings=" + std::to_string(report.shared_strings) +
           (report.cells ? " cells=" + std::to_string(*report.cells) : std::string()) +
           " shapes=" + std::to_string(report.shapes) +
           (report.values.changed() > 0 ? " values=" + std::to_string(report.values.changed()) : std::string());
}

fs::path executable_dir() {
    fs::path folder = os::executable_folder();
    return folder.empty() ? fs::current_path() : folder;
}

bool footer_present(const fs::path& path) {
    FooterInfo info;
    return hsc_read_footer(path, info) == RC_OK && info.present;
}

void inspect_file(const fs::path& path, const MaskSettings& settings, bool leaks, std::uint64_t max_memory,
                  Lang lang, Result& r) {
    r.action = "inspect";
    InputFile in;
    if (int error = in.open(path); error != 0) {
        r.status = RC_FAIL;
        r.failure = open_failure_reason(error);
        r.errors.push_back(open_failure_message(error, path, lang));
        return;
    }
    // Everything shown is read from that one open file.
    MfileRegistry reg;
    reg.max_package_bytes = max_memory ? max_memory : default_memory_budget();
    OpenPackage package;
    const int code = package.open(in.fd(), path, reg) == RC_OK ? package.file_type() : TYPE_UNKNOWN;
    std::string block;
    // A file too short for a footer simply has none.
    const FooterInfo info = package.last_bytes(FOOTER_SIZE, block) == RC_OK ? read_footer_info(block) : FooterInfo{};
    const bool readable = package.directory_status() == RC_OK;
    const std::vector<std::string> backups = readable ? backup_entries(package.entry_names()) : std::vector<std::string>();

    const std::string type_name(file_type_name(code));
    // A copy masked without backups opens with no password and holds no format of backups.
    const char* auth = !info.present || info.no_backup ? "none" : info.file_mode ? "file" : "password";
    // The protection format of the backups: the strong one, or the original containers.
    const char* format = !info.present ? "" : info.no_backup ? "none" : info.format == FooterFormat::strong ? "strong" : "compatible";
    const std::string no_backup_note = info.no_backup ? say(lang, Msg::inspect_no_backup) : std::string();
    const std::string hint = cp932_display(info.hint);
    std::string backup_list;
    for (const auto& b : backups) {
        if (!backup_list.empty()) backup_list += ',';
        backup_list += b;
    }

    r.summary = visible_controls(r.input) + ": type=" + type_name + "(" + std::to_string(code) + ")" +
                " masked=" + (info.present ? "yes" : "no") + " auth=" + auth +
                (info.present && !info.has_hash && !info.no_backup ? "(not recorded)" : "") +
                (info.present ? std::string(" format=") + format : std::string()) + " hint=\"" + visible_controls(hint) + "\"" +
                " backups=" + (readable ? (backup_list.empty() ? "-" : visible_controls(backup_list)) : "?") +
                (info.no_backup ? " — " + no_backup_note : std::string());
    std::string jb = "[";
    for (std::size_t i = 0; i < backups.size(); ++i) {
        if (i) jb += ',';
        jb += json_string(backups[i]);
    }
    jb += "]";
    // `backups` is a list either way; `readable` tells an empty one from an unread one.
    r.json_extra = ",\"type\":" + std::to_string(code) + ",\"type_name\":" + json_string(type_name) +
                   ",\"masked\":" + (info.present ? "true" : "false") + ",\"authentication\":" + json_string(auth) +
                   ",\"recorded\":" + (info.has_hash ? "true" : "false") +
                   ",\"format\":" + (info.present ? json_string(format) : std::string("null")) + ",\"hint\":" + json_string(hint) +
                   ",\"readable\":" + (readable ? "true" : "false") + ",\"backups\":" + jb +
                   ",\"no_backup\":" + (info.no_backup ? "true" : "false") + ",\"note\":" + json_string(no_backup_note);
    if (!leaks) return;
    CollectingReporter reporter;
    r.status = hsc_inspect_leaks(package, reg, path, settings, r.report, reporter, &r.failure, lang);
    r.errors = std::move(reporter.errors);
    if (r.status != RC_OK) return;
    r.summary += " " + report_counts(r.report) + " leaks=";
    const auto warnings = report_warnings(r.report);
    for (std::size_t i = 0; i < warnings.size(); ++i) r.summary.append(i ? "," : "").append(warnings[i].kind);
    if (warnings.empty()) r.summary += "none";
    r.json_extra += report_json(r.report);
}

void suggest_file(const fs::path& path, Lang lang, const std::optional<std::string>& write_profile, Result& r) {
    r.action = "inspect";
    r.suggestion = true;
    const SuggestLimits limits;
    const WorkbookSuggestion s = suggest_columns(path, limits);
    if (s.status != SuggestStatus::ok) {
        r.status = s.status == SuggestStatus::cannot_open ? RC_OPEN : RC_FAIL;
        r.failure = s.status == SuggestStatus::cannot_open      ? FailReason::cannot_open
                    : s.status == SuggestStatus::not_a_workbook ? FailReason::unsupported_file
                                                                : FailReason::damaged;
        r.errors.push_back(suggestion_error(s.status, r.input, lang));
        return;
    }
    // The profile holds what is proposed; with nothing proposed none is written (an empty
    // choice would mask every text).
    const ColumnChoice choice = suggestion_choice(s);
    const SuggestionRun run{r.input, choice.has_list() ? write_profile : std::nullopt};
    if (run.profile)
        if (int error = write_profile_file(*run.profile, choice); error != 0) {
            r.status = RC_FAIL;
            r.failure = FailReason::cannot_save;
            r.errors.push_back(say(lang, Msg::profile_unwritable, {*run.profile, std::strerror(error)}));
            return;
        }
    r.summary = visible_controls(r.input) + ": " + suggestion_text(s, limits.sample_rows, lang, &run);
    if (run.profile) r.summary += "\n  " + say(lang, Msg::suggest_profile_written, {visible_controls(*run.profile)});
    r.json_extra = suggestion_json(s, limits.sample_rows, suggested_command(s, run), run.profile);
}

void process_one(const fs::path& path, const Options& o, const MaskSettings& settings, const ProcessOptions& base,
                 Result& r, std::function<void(const Progress&)> on_progress) {
    const Command command = o.command;
    if (command == Command::inspect) return inspect_file(path, settings, o.leaks, base.max_memory, o.lang, r);
    if (command == Command::suggest) return suggest_file(path, o.lang, o.write_profile, r);
    ProcessOptions po = base;
    if (o.from) po.merge_from = os::u8_path(*o.from);
    if (command == Command::mask) po.only_direction = Direction::mask;
    if (command == Command::restore) po.only_direction = Direction::unmask;
    CollectingReporter reporter;
    reporter.on_progress = std::move(on_progress);
    FileContext ctx;
    fs::path output;
    r.status = hsc_process_file(path, output, settings, ctx, reporter, po);
    // What a file was for: the driver tells when it is done; a file it refused is looked
    // at again (its footer) only then, so a file that goes through is opened once.
    const bool restoring = r.status == RC_OK ? ctx.process_direction == Direction::unmask
                                             : command == Command::restore ||
                                                   (command == Command::automatic && footer_present(path));
    r.action = restoring ? "restore" : "mask";
    r.failure = ctx.failure;
    r.errors = std::move(reporter.errors);
    r.notices = std::move(reporter.notices);
    if (r.status == RC_OK) {
        r.output = os::path_u8(output);
        r.report = std::move(ctx.report);
        const std::string input = visible_controls(r.input), shown_output = visible_controls(r.output);
        r.merge = std::move(ctx.merge);
        if (o.dry_run)
            r.summary = ctx.process_direction == Direction::mask
                            ? say(o.lang, Msg::cli_would_mask, {input, report_counts_text(r.report, o.lang)})
                            : say(o.lang, Msg::cli_would_restore, {input});
        else if (r.merge.produced)
            r.summary = say(o.lang, Msg::cli_merged, {input, shown_output, merge_counts_text(r.merge, o.lang)});
        else if (ctx.process_direction == Direction::unmask)
            r.summary = say(o.lang, Msg::cli_restored, {input, shown_output});
        else if (!r.report.produced)
            r.summary = say(o.lang, Msg::cli_masked, {input, shown_output});
        else
            r.summary = say(o.lang, Msg::cli_masked_counts, {input, shown_output, report_counts_text(r.report, o.lang)});
        r.json_extra = report_json(r.report);
        if (r.merge.produced) r.json_extra += merge_json(r.merge);
    } else if (r.errors.empty()) {
        r.errors.push_back(say(o.lang, Msg::cli_not_processed, {std::to_string(r.status)}));
    }
}

// The JSON `kind` of each reason: stable English names a script may branch on. Every
// reason has one, and no two share a name.
constexpr std::pair<FailReason, std::string_view> FAILURE_KINDS[] = {
    {FailReason::invalid_settings, "invalid-settings"},
    {FailReason::not_found, "not-found"},
    {FailReason::cannot_open, "cannot-open"},
    {FailReason::unsupported_file, "unsupported-file"},
    {FailReason::read_password, "read-password"},
    {FailReason::old_xls, "old-xls"},
    {FailReason::key_file_unreadable, "key-file-unreadable"},
    {FailReason::key_file_too_short, "key-file-too-short"},
    {FailReason::invalid_columns, "invalid-columns"},
    {FailReason::already_masked, "already-masked"},
    {FailReason::not_masked, "not-masked"},
    {FailReason::wrong_password, "wrong-password"},
    {FailReason::wrong_key_file, "wrong-key-file"},
    {FailReason::wrong_password_or_key_file, "wrong-password-or-key-file"},
    {FailReason::key_file_required, "key-file-required"},
    {FailReason::changed_since_masking, "changed-since-masking"},
    {FailReason::footer_missing, "footer-missing"},
    {FailReason::still_masked, "still-masked"},
    {FailReason::backups_lost, "backups-lost"},
    {FailReason::no_backup, "no-backup"},
    {FailReason::hard_link, "hard-link"},
    {FailReason::output_is_input, "output-is-input"},
    {FailReason::output_exists, "output-exists"},
    {FailReason::out_of_memory, "out-of-memory"},
    {FailReason::too_large, "too-large"},
    {FailReason::unsupported_table, "unsupported-table"},
    {FailReason::header_not_found, "header-not-found"},
    {FailReason::sheet_not_found, "sheet-not-found"},
    {FailReason::ambiguous_column, "ambiguous-column"},
    {FailReason::damaged, "damaged"},
    {FailReason::no_space, "no-space"},
    {FailReason::file_size_limit, "file-size-limit"},
    {FailReason::cannot_save, "cannot-save"},
    {FailReason::changed_during_run, "changed-during-run"},
    {FailReason::not_writable, "not-writable"},
    {FailReason::cancelled, "cancelled"},
    {FailReason::internal_error, "internal-error"},
};
constexpr bool kinds_cover_each_reason_once() {
    for (std::size_t i = 0; i < std::size(FAILURE_KINDS); ++i) {
        if (FAILURE_KINDS[i].first == FailReason::none) return false;
        for (std::size_t k = i + 1; k < std::size(FAILURE_KINDS); ++k)
            if (FAILURE_KINDS[i].first == FAILURE_KINDS[k].first || FAILURE_KINDS[i].second == FAILURE_KINDS[k].second)
                return false;
    }
    // internal_error is the last reason, so this counts every reason but none.
    return std::size(FAILURE_KINDS) == static_cast<std::size_t>(FailReason::internal_error);
}
static_assert(kinds_cover_each_reason_once(), "each FailReason needs a JSON kind of its own");

std::string_view failure_kind(FailReason why) {
    for (const auto& [reason, kind] : FAILURE_KINDS)
        if (reason == why) return kind;
    return "internal-error";  // a failure that did not say why
}

// The outcome of one file as its JSON `kind`.
std::string_view result_kind(const Result& r) {
    if (r.status != RC_OK) return failure_kind(r.failure);
    const bool warned = !report_warnings(r.report).empty();
    if (std::string_view(r.action) == "restore")
        return !r.merge.produced ? "restored" : r.merge.left_masked() > 0 ? "merged-with-warnings" : "merged";
    if (std::string_view(r.action) == "mask") return warned ? "masked-with-warnings" : "masked";
    if (r.suggestion) return "suggested";
    return warned ? "inspected-with-warnings" : "inspected";
}

std::string json_line(const Result& r) {
    std::string message;
    for (const auto& e : r.errors) {
        if (!message.empty()) message += '\n';
        message += e;
    }
    return "{\"schema\":" + std::to_string(JSON_SCHEMA) + ",\"kind\":" + json_string(result_kind(r)) +
           ",\"input\":" + json_string(r.input) + ",\"output\":" + json_string(r.output) + ",\"action\":\"" +
           r.action + "\",\"status\":" + std::to_string(r.status) + ",\"message\":" + json_string(message) +
           r.json_extra + "}";
}

// Runs the files on `jobs` threads and prints the results in the order of the files.
void run_all(const Options& o, const MaskSettings& settings, const ProcessOptions& po, std::vector<Result>& results) {
    const std::size_t total = o.files.size();
    results.assign(total, Result{});
    for (std::size_t i = 0; i < total; ++i) results[i].input = o.files[i];
    // A line on the terminal says how far the work has come: the file and its share of
    // bytes read and written, and for several files how many are done. Rewritten in
    // place and erased before every result, never in JSON or quiet runs, never into a
    // file or pipe.
    const bool progress = !o.json && !o.quiet && os::is_terminal(os::STDERR_FD);

    std::mutex lock;
    std::vector<bool> done(total, false);
    std::size_t printed = 0, finished = 0;
    std::atomic<std::size_t> next{0};

    auto print_ready = [&] {  // with `lock` held
        if (progress) std::fputs("\r\033[K", stderr);
        while (printed < total && done[printed]) {
            const Result& r = results[printed++];
            // Names, hints and paths come from files: their control characters are shown,
            // never obeyed by the terminal. JSON escapes them itself.
            if (o.json) std::printf("%s\n", json_line(r).c_str());
            else if (r.status == RC_OK && !o.quiet) std::printf("%s\n", visible_controls(r.summary, true).c_str());
            if (!o.json && o.report && r.status == RC_OK && r.report.produced && !r.report.columns.empty()) {
                std::printf("  %s\n", say(o.lang, Msg::report_heading).c_str());
                for (const std::string& line : column_report_lines(r.report, o.lang))
                    std::printf("    %s\n", visible_controls(line).c_str());
            }
            std::fflush(stdout);  // the file's line before its warnings, also into one pipe
            if (!o.json || r.status != RC_OK)
                for (const auto& e : r.errors)
                    std::fprintf(stderr, "%s: %s\n", visible_controls(r.input).c_str(), visible_controls(e).c_str());
            // The weakness of the compatible format is said also beside JSON output.
            for (const auto& n : r.notices)
                std::fprintf(stderr, "%s\n", visible_controls(say(o.lang, Msg::cli_warning, {r.input, n})).c_str());
            if (!o.json && r.status == RC_OK) {
                for (const auto& w : report_warning_texts(r.report, o.lang))
                    std::fprintf(stderr, "%s\n", visible_controls(say(o.lang, Msg::cli_warning, {r.input, w})).c_str());
                for (const auto& w : merge_warning_texts(r.merge, o.lang))
                    std::fprintf(stderr, "%s\n", visible_controls(say(o.lang, Msg::cli_warning, {r.input, w})).c_str());
            }
        }
        std::fflush(stdout);
        if (progress && finished < total && total > 1)
            std::fprintf(stderr, "[%zu/%zu] %s", finished, total,
                         visible_controls(o.files[std::min(printed, total - 1)]).c_str());
        std::fflush(stderr);
    };
    // The file's own share, as the driver tells it.
    auto show_progress = [&](std::size_t i, const Progress& p) {
        std::lock_guard guard(lock);
        if (p.complete) return;  // its result comes next, on a clean line
        std::fputs("\r\033[K", stderr);
        if (total > 1) std::fprintf(stderr, "[%zu/%zu] ", finished, total);
        std::fprintf(stderr, "%s %d%%", visible_controls(o.files[i]).c_str(), p.percent());
        std::fflush(stderr);
    };

    auto worker = [&] {
        for (std::size_t i; (i = next++) < total;) {
            std::function<void(const Progress&)> on_progress;
            if (progress) on_progress = [&show_progress, i](const Progress& p) { show_progress(i, p); };
            process_one(os::u8_path(o.files[i]), o, settings, po, results[i], std::move(on_progress));
            std::lock_guard guard(lock);
            done[i] = true;
            ++finished;
            print_ready();
        }
    };
    const int jobs = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(o.jobs), total));
    std::vector<std::thread> threads;
    for (int t = 1; t < jobs; ++t) threads.emplace_back(worker);
    worker();
    for (auto& t : threads) t.join();
}

// One spelling for every name of a file, as far as the system can tell; a name it
// cannot resolve (too long, say) stays as given and fails later with its cause.
fs::path same_file_key(const std::string& name) {
    std::error_code ec;
    fs::path absolute = fs::absolute(os::u8_path(name), ec);
    if (ec) return os::u8_path(name);
    fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute : canonical;
}

// An input whose output name is another input of the same run: "x.xlsx" and "●x.xlsx".
// Inputs are compared as given and with their links resolved: "●x.xlsx" may be a link
// to another workbook, and an input may be a link whose output lands elsewhere. (An
// output that is a link to its own input is refused by the driver.)
std::optional<std::string> output_is_input(const std::vector<std::string>& files) {
    std::set<fs::path> inputs, names;
    for (const auto& f : files) {
        std::error_code ec;
        const fs::path given = fs::absolute(os::u8_path(f), ec).lexically_normal();
        names.insert(ec ? os::u8_path(f) : given);
        names.insert(same_file_key(f));
    }
    for (const auto& in : names)
        for (const char* prefix : {"●", "〇"}) {
            const fs::path out = in.parent_path() / os::u8_path(prefix + os::path_u8(in.filename()));
            if (names.count(out)) return os::path_u8(out.filename());
        }
    return std::nullopt;
}

struct BatchStates {
    bool any_masked = false, any_plain = false;
};

// Which of the files carry a footer; files that cannot be read count as neither.
BatchStates batch_states(const std::vector<std::string>& files) {
    BatchStates b;
    for (const auto& f : files) {
        FooterInfo info;
        if (hsc_read_footer(f, info) != RC_OK) continue;
        (info.present ? b.any_masked : b.any_plain) = true;
    }
    return b;
}

bool load_settings(const Options& o, MaskSettings& s, std::string& message) {
    hsc_init_settings(s);
    const fs::path file = o.settings_file ? os::u8_path(*o.settings_file) : settings_path(executable_dir());
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        if (!o.settings_file) return true;  // no settings file of one's own: the defaults
        message = say(o.lang, Msg::settings_file_missing, {os::path_u8(file)});
        return false;
    }
    std::vector<std::string> unreadable;
    if (int rc = hsc_read_ini(s, file, &unreadable); rc != RC_OK) {
        message = say(o.lang, Msg::settings_file_unreadable, {os::path_u8(file), std::to_string(rc)});
        return false;
    }
    for (const auto& key : unreadable)
        std::fprintf(stderr, "%s\n",
                     visible_controls(say(o.lang, Msg::cli_warning,
                                          {"hushcel", say(o.lang, Msg::unreadable_setting, {key}) + " (" + os::path_u8(file) + ")"}))
                         .c_str());
    return true;
}


// With --json a usage error is also a JSON object, for a script reading standard output.
int usage_error(bool json, Lang lang, const std::string& message) {
    if (json)
        std::printf("{\"schema\":%d,\"kind\":\"usage\",\"message\":%s}\n", JSON_SCHEMA, json_string(message).c_str());
    std::fprintf(stderr, "hushcel: %s\n%s\n", visible_controls(message).c_str(), say(lang, Msg::usage_hint).c_str());
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    os::keep_memory_private();
    os::use_utf8_console();
    os::writes_beyond_size_limit_fail();
    Options o;
    std::string message;
    // --lang first, so that even a refused command line is answered in its language.
    Lang lang = lang_requested(argc, argv).value_or(lang_from_environment());
    const bool parsed = parse_options(argc, argv, lang, o, message);
    if (parsed) lang = o.lang;
    const bool json = parsed ? o.json : json_requested(argc, argv);
    const auto usage = [json, &lang](const std::string& text) { return usage_error(json, lang, text); };
    if (!parsed) return usage(message);
    if (o.help) {
        const std::string text = usage_text(lang);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return EXIT_ALL_DONE;
    }
    if (o.version) {
        std::printf("%s %s\n%s\n", std::string(APP_NAME).c_str(), std::string(APP_VERSION).c_str(),
                    std::string(APP_THIRD_LINE).c_str());
        return EXIT_ALL_DONE;
    }

    MaskSettings settings;
    if (!load_settings(o, settings, message)) return usage(message);
    apply_overrides(o, settings);
    // The profile of this run, or the one the window's settings use (apply_overrides
    // drops that one when the command line chooses the columns itself).
    const std::optional<std::string> profile =
        o.profile ? o.profile : settings.profile_file.empty() ? std::nullopt : std::optional(settings.profile_file);

    std::set<fs::path> seen;
    for (const auto& f : o.files)
        if (!seen.insert(same_file_key(f)).second)
            return usage(say(lang, Msg::same_file_twice, {f}));

    if (o.write_profile && o.files.size() > 1) return usage(say(lang, Msg::option_write_profile_one_file));

    const bool only_reading = o.command == Command::inspect || o.command == Command::suggest;
    if (!only_reading || o.leaks) {
        // A password for a masking is typed twice, one for a restore once.
        const auto ask = [&] {
            bool masking = o.command == Command::mask;
            if (o.command == Command::automatic)
                for (const auto& f : o.files) masking = masking || !footer_present(f);
            return ask_password(masking, lang, settings.password, message);
        };
        const auto env = os::environment("HUSHCEL_PASSWORD");
        if (o.password_file) {
            if (!read_password_file(*o.password_file, lang, settings.password, message)) return usage(message);
        } else if (o.ask_password) {
            if (!ask()) return usage(message);
        } else if (env && !env->empty()) {
            settings.password = *env;
        } else if (uses_known_password(settings) && !o.allow_default_password && os::is_terminal(os::STDIN_FD)) {
            // No password given anywhere, and someone at a terminal: asked there, as
            // --ask-password would. Without a terminal the refusals below stay as they were.
            if (!ask()) return usage(message);
        }
        // Refused here, before any file is touched.
        StoredSettings stored;
        const WipeOnExit wipe_stored(stored.password);
        if (!stored_settings(settings, stored, message, lang)) return usage(message);
    }

    if (!only_reading) {
        if (o.output_dir) {
            std::error_code ec;
            if (!fs::is_directory(os::u8_path(*o.output_dir), ec)) return usage(say(lang, Msg::output_dir_missing, {*o.output_dir}));
        }
        // Refused before anything is touched: a run whose outputs are its own inputs.
        if (!settings.is_overwrite)
            if (auto name = output_is_input(o.files))
                return usage(say(lang, Msg::output_named_as_input, {*name}));
        const BatchStates states = batch_states(o.files);
        // "hushcel *.xlsx" run twice would restore the masked copies into plaintext ones.
        if (o.command == Command::automatic && states.any_masked && states.any_plain)
            return usage(say(lang, Msg::mixed_batch));
        const bool masking = o.command == Command::mask || (o.command == Command::automatic && !states.any_masked);
        // A copy without backups holds nothing the password opens.
        if (masking && !settings.is_no_backup && uses_known_password(settings) && !o.allow_default_password)
            return usage(say(lang, Msg::known_password_refused,
                             {settings.is_file_hash ? message_template(lang, Msg::known_password_file_mode) : ""}));
        if (!profile) {
            ChoiceError error;
            if (!parse_column_text(settings.target_column, settings.header_row, settings.is_keep_header, error))
                return usage(say(lang, Msg::then, {say(lang, Msg::invalid_column_list, {settings.target_column}),
                                                   say(lang, Msg::choice_reason, {choice_problem_text(lang, error)})}));
        }
        // `mask` on a returned workbook that lost its backups is a mistake of the command
        // line: nothing is masked unless --force says so (the automatic mode refuses the
        // file itself).
        if (o.command == Command::mask && !o.force)
            for (const auto& f : o.files) {
                if (footer_present(f)) continue;
                if (const MaskedLook look = masked_look_of_file(f); look.looks_masked())
                    return usage(say(lang, Msg::backups_lost_mask, {f, masked_look_text(look, lang), f}));
            }
    }

    const int jobs = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(o.jobs), o.files.size()));
    ProcessOptions po;
    if (profile && !only_reading) {
        po.columns = read_profile_file(*profile, lang, message);
        if (!po.columns) return usage(message);
    }
    po.force = o.force;
    po.dry_run = o.dry_run;
    if (o.output) po.output = os::u8_path(*o.output);
    if (o.output_dir) po.output_dir = os::u8_path(*o.output_dir);
    po.original_name = o.original_name;
    po.lang = lang;
#ifdef HUSHCEL_TEST_HOOKS
    if (const auto cost = test_kdf_cost()) po.kdf_cost = *cost;
#endif
    // The workers share one memory budget.
    po.max_memory = std::max<std::uint64_t>(1, (settings.max_memory ? settings.max_memory : default_memory_budget()) /
                                                   static_cast<std::uint64_t>(std::max(jobs, 1)));

    std::vector<Result> results;
    run_all(o, settings, po, results);
    wipe(settings.password);

    bool any_failed = false, only_refused = true, any_warning = false;
    for (const auto& r : results) {
        // A column choice that names a sheet no workbook has, or reads two ways, is the
        // command line's mistake, whichever workbook showed it.
        if (r.failure == FailReason::sheet_not_found || r.failure == FailReason::ambiguous_column) return EXIT_USAGE;
        if (r.status == RC_OK) {
            // A restore that left masked texts in its output is done with a warning.
            any_warning = any_warning || !report_warnings(r.report).empty() || r.merge.left_masked() > 0;
            continue;
        }
        any_failed = true;
        only_refused = only_refused && r.status == RC_REFUSED;
    }
    if (!any_failed) return any_warning ? EXIT_WARNINGS : EXIT_ALL_DONE;
    return only_refused ? EXIT_ONLY_REFUSED : EXIT_SOME_FAILED;
}
