#include "shell/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <random>
#include <system_error>

#include "core/status.h"
#include "os/file.h"
#include "os/system.h"
#include "stream/rfile.h"
#include "protect/sealed.h"
#include "shell/text_limits.h"

namespace hsc {
namespace {

constexpr os::FileMode SETTINGS_FILE_PERMS = os::PRIVATE_FILE_MODE;  // it holds the sealed password
constexpr int TEMP_ATTEMPTS = 100;
constexpr std::uint64_t MEGABYTE = 1024 * 1024;  // the memory budget is stored in these
constexpr int HEADER_ROW_MAX = 1048576;          // the last row of a worksheet

// Six letters and digits for a temporary name nobody else can guess ahead.
std::string random_suffix() {
    static constexpr std::string_view ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device entropy;
    std::string suffix(6, '0');
    for (char& c : suffix) c = ALPHABET[entropy() % ALPHABET.size()];
    return suffix;
}

INIENTRY* find_live(std::vector<INIENTRY>& entries, std::string_view name) {
    for (auto& e : entries)
        if (e.state == INI_LIVE && e.name == name) return &e;
    return nullptr;
}

const INIENTRY* find_live(const std::vector<INIENTRY>& entries, std::string_view name) {
    for (const auto& e : entries)
        if (e.state == INI_LIVE && e.name == name) return &e;
    return nullptr;
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Sealed text is written in whole AES units: 32 hexadecimal digits each.
bool is_sealed_text(std::string_view text) {
    return text.size() % 32 == 0 && std::all_of(text.begin(), text.end(), is_hex_digit);
}

// Length in bytes of the UTF-8 character that starts with `lead`; 0 when `lead` cannot
// start one.
std::size_t utf8_width(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t w = utf8_width(lead);
        if (w == 0 || i + w > text.size()) return false;
        for (std::size_t k = 1; k < w; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        if (w == 3) {
            auto second = static_cast<unsigned char>(text[i + 1]);
            if (lead == 0xE0 && second < 0xA0) return false;   // overlong
            if (lead == 0xED && second >= 0xA0) return false;  // surrogate
        } else if (w == 4) {
            auto second = static_cast<unsigned char>(text[i + 1]);
            if (lead == 0xF0 && second < 0x90) return false;   // overlong
            if (lead == 0xF4 && second >= 0x90) return false;  // beyond U+10FFFF
        }
        i += w;
    }
    return true;
}

// The leading decimal number of a text: blanks skipped, an optional sign, the digits up
// to the first other byte; 0 when there is none. Out-of-range numbers saturate.
int decimal_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value);
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

bool is_yes(std::string_view text) { return text == "Y" || text == "y"; }

// Applies one line of the file to the store: NAME = VALUE, anything after the value
// ignored.
void parse_line(INIFILE& store, const std::string& line) {
    if (line.empty() || line[0] == '#' || line[0] == ';') return;
    if (line[0] == '[' && line.back() == ']' && line.size() <= INI_SECTION_LINE_MAX)
        store.section = line.substr(1, line.size() - 2);

    std::size_t pos = 0;
    std::string name, equals, value;
    if (next_token(store.charset, line, pos, name) != Status::ok || name.size() > INI_NAME_MAX) return;
    if (next_token(store.charset, line, pos, equals) != Status::ok || equals != "=") return;
    if (next_token(store.charset, line, pos, value) != Status::ok) return;
    strip_quotes(value);
    store.entries.push_back(INIENTRY{std::move(name), std::move(value), INI_LIVE});
}

int write_lines(INIFILE& store, RFILE& file) {
    std::string line = "[" + store.section + "]";
    if (rfile_write_line(line, file) != Status::ok) return RC_SHORT_WRITE;
    std::stable_sort(store.entries.begin(), store.entries.end(),
                     [](const INIENTRY& a, const INIENTRY& b) { return a.name < b.name; });
    for (const auto& e : store.entries) {
        if (e.state != INI_LIVE) continue;
        line = e.name + "=\"" + e.value + "\"";
        if (rfile_write_line(line, file) != Status::ok) return RC_SHORT_WRITE;
    }
    return code(rfile_sync(file));
}

}  // namespace

int ini_load(INIFILE& store) {
    try {
        store.entries.clear();
        auto file = rfile_open(store.path, RFILE_READ);
        if (!file) return RC_OPEN;
        std::string line;
        line.reserve(INI_LINE_SIZE);
        while (rfile_read_line(line, INI_LINE_SIZE, *file)) parse_line(store, line);
        return RC_OK;
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int ini_save(INIFILE& store) {
    namespace fs = std::filesystem;
    try {
        // Write through a link to the file it names, so the link survives.
        fs::path target = store.path;
        std::error_code ec;
        if (fs::is_symlink(target, ec)) {
            fs::path resolved = fs::weakly_canonical(target, ec);
            if (!ec) target = resolved;
        }
        fs::path folder = target.parent_path();
        if (!folder.empty() && !fs::is_directory(folder, ec)) {
            fs::create_directories(folder, ec);
            if (ec) return RC_OPEN;
        }

        // A crash or a full disk must never leave half a file: write a temporary file
        // beside the target, flush it, then rename it over the target.
        fs::path temp;
        int fd = -1;
        for (int attempt = 0; attempt < TEMP_ATTEMPTS && fd < 0; ++attempt) {
            temp = folder / os::u8_path("." + os::path_u8(target.filename()) + "." + random_suffix());
            fd = os::open(temp, os::Access::create_exclusive, SETTINGS_FILE_PERMS);
            if (fd < 0 && errno != EEXIST) return RC_OPEN;
        }
        if (fd < 0) return RC_OPEN;
        os::close(fd);
        auto file = rfile_open(temp, RFILE_CREATE, SETTINGS_FILE_PERMS);
        if (!file) {
            os::remove(temp);
            return RC_OPEN;
        }
        int rc = write_lines(store, *file);
        rfile_close(std::move(file));
        if (rc == RC_OK && os::rename(temp, target) != 0) rc = RC_OPEN;
        if (rc != RC_OK) {
            os::remove(temp);
            return rc;
        }
        os::sync_folder(folder);
        return RC_OK;
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int ini_set(INIFILE& store, int sealed, std::string_view name, std::string_view value) {
    try {
        std::string stored;
        if (sealed & INI_SEALED) {
            if (!value.empty())
                if (Status st = seal_text(value, store.seal_password, stored); st != Status::ok) return code(st);
        } else {
            stored = value;
        }
        if (stored.size() > INI_VALUE_MAX) return RC_SIZE_LIMIT;
        if (INIENTRY* e = find_live(store.entries, name)) {
            e->value = std::move(stored);
        } else {
            store.entries.push_back(INIENTRY{std::string(name), std::move(stored), INI_LIVE});
        }
        return RC_OK;
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int ini_get(const INIFILE& store, int sealed, std::string_view name, std::string& out) {
    out.clear();
    const INIENTRY* e = find_live(store.entries, name);
    if (!e) return RC_NOT_FOUND;
    try {
        if (!(sealed & INI_SEALED)) {
            out = e->value;
            return RC_OK;
        }
        if (!is_sealed_text(e->value)) return RC_FAIL;
        if (e->value.empty()) return RC_OK;
        const Status st = unseal_text(e->value, store.seal_password, out);
        if (st != Status::ok) out.clear();
        return code(st);
    } catch (const std::bad_alloc&) {
        out.clear();
        return RC_NOMEM;
    }
}

int ini_free(INIFILE& store) {
    store.entries.clear();
    store.entries.shrink_to_fit();
    return RC_OK;
}

int hsc_init_settings(MaskSettings& settings) {
    settings = MaskSettings{};
    return RC_OK;
}

int hsc_read_ini(MaskSettings& settings, const std::filesystem::path& file, std::vector<std::string>* unreadable) {
    INIFILE store;
    store.path = file;
    store.seal_password = SEAL_PASSWORD;
    store.charset = CHARSET_SJIS;
    if (int rc = ini_load(store); rc != RC_OK) return rc;

    try {
        MaskSettings read = settings;  // applied only when the whole read succeeds
        std::string value;
        bool out_of_memory = false;
        // A sealed text: its plain form when present and valid UTF-8, else nothing.
        auto sealed_text = [&](std::string_view key) -> std::optional<std::string> {
            int rc = ini_get(store, INI_SEALED, key, value);
            if (rc == RC_NOMEM) out_of_memory = true;
            const bool broken = (rc != RC_OK && rc != RC_NOT_FOUND && rc != RC_NOMEM) || (rc == RC_OK && !is_utf8(value));
            if (broken && unreadable) unreadable->emplace_back(key);
            if (rc != RC_OK || !is_utf8(value)) return std::nullopt;
            return value;
        };
        auto plain = [&](std::string_view key) -> std::optional<std::string> {
            if (ini_get(store, INI_PLAIN, key, value) != RC_OK) return std::nullopt;
            return value;
        };
        // Over-long values are cut between characters: the password and the hints by the
        // bytes of their stored CP932 form, the column list by its UTF-8 bytes.
        auto text_field = [&](std::string_view key, std::size_t limit, auto cut) {
            auto v = sealed_text(key);
            return v ? cut(*v, limit) : std::string();
        };
        auto number = [&](std::string_view key, int missing) {
            auto v = plain(key);
            return v ? decimal_value(*v) : missing;
        };
        auto flag = [&](std::string_view key) {
            auto v = plain(key);
            return v && is_yes(*v);
        };

        read.is_compat = flag("COMPAT");
        // The strong format takes the password whole; the compatible one its 31 bytes.
        read.password = read.is_compat ? text_field("PASSWORD", PASSWORD_MAX, cp932_prefix)
                                       : sealed_text("PASSWORD").value_or(std::string());
        read.password_hint = text_field("PASSWORD_HINT", HINT_MAX, cp932_prefix);
        read.keyfile_hint = text_field("KEYFILE_HINT", HINT_MAX, cp932_prefix);
        read.mask_step = number("MASK_STEP", STEP_STRONG);
        read.mask_mchar = number("MASK_MCHAR", MCHAR_CIRCLE);
        read.mask_char = number("MASK_CHAR", CHAR_STAR);
        read.mask_number = number("MASK_NUMBER", NUMBER_NINE);
        read.mask_wchar = number("MASK_WCHAR", WCHAR_TIMES);
        read.target_column = text_field("TARGET_COLUMN", TARGET_COLUMN_MAX, utf8_prefix);
        read.is_overwrite = flag("IS_OVERWRITE");
        read.is_file_hash = flag("IS_FILE_HASH");
        read.is_no_password = flag("IS_NO_PASSWORD");
        read.is_autoshape = flag("IS_AUTOSHAPE");
        read.is_recrypto = flag("IS_RECRYPTO");
        read.is_text_only = flag("IS_TEXT_ONLY");
        read.is_mask_numbers = flag("IS_MASK_NUMBERS");
        // A row the sheet cannot have counts as missing.
        read.header_row = number("HEADER_ROW", 1);
        if (read.header_row < 1 || read.header_row > HEADER_ROW_MAX) read.header_row = 1;
        read.is_keep_header = flag("IS_KEEP_HEADER");
        const int megabytes = number("MAX_MEMORY_MB", 0);
        read.max_memory = megabytes > 0 ? static_cast<std::uint64_t>(megabytes) * MEGABYTE : 0;
        read.profile_file = sealed_text("PROFILE_FILE").value_or(std::string());
        // A path is taken whole or not at all: a cut path names another file.
        if (auto v = sealed_text("KEY_FILE"); v && v->size() <= KEY_FILE_MAX) read.key_file = *v;

        if (out_of_memory) return RC_NOMEM;
        settings = std::move(read);
        return RC_OK;
    } catch (const std::bad_alloc&) {
        return RC_NOMEM;
    }
}

int hsc_write_ini(const MaskSettings& settings, const std::filesystem::path& file) {
    INIFILE store;
    store.seal_password = SEAL_PASSWORD;
    auto flag = [](bool on) { return on ? "Y" : "N"; };
    const auto sealed = INI_SEALED, plain = INI_PLAIN;
    struct Item {
        int sealed;
        const char* name;
        std::string value;
    };
    try {
        const Item items[] = {
            {sealed, "PASSWORD", settings.password},
            {sealed, "PASSWORD_HINT", settings.password_hint},
            {sealed, "KEYFILE_HINT", settings.keyfile_hint},
            {plain, "MASK_STEP", std::to_string(settings.mask_step)},
            {plain, "MASK_MCHAR", std::to_string(settings.mask_mchar)},
            {plain, "MASK_CHAR", std::to_string(settings.mask_char)},
            {plain, "MASK_NUMBER", std::to_string(settings.mask_number)},
            {plain, "MASK_WCHAR", std::to_string(settings.mask_wchar)},
            {sealed, "TARGET_COLUMN", settings.target_column},
            {sealed, "KEY_FILE", settings.key_file},
            {plain, "IS_FILE_HASH", flag(settings.is_file_hash)},
            {plain, "IS_OVERWRITE", flag(settings.is_overwrite)},
            {plain, "IS_NO_PASSWORD", flag(settings.is_no_password)},
            {plain, "IS_AUTOSHAPE", flag(settings.is_autoshape)},
            {plain, "IS_RECRYPTO", flag(settings.is_recrypto)},
            {plain, "IS_TEXT_ONLY", flag(settings.is_text_only)},
            {plain, "IS_MASK_NUMBERS", flag(settings.is_mask_numbers)},
            {plain, "COMPAT", flag(settings.is_compat)},
            {plain, "HEADER_ROW", std::to_string(settings.header_row)},
            {plain, "IS_KEEP_HEADER", flag(settings.is_keep_header)},
            {plain, "MAX_MEMORY_MB", std::to_string(settings.max_memory / MEGABYTE)},
            {sealed, "PROFILE_FILE", settings.profile_file},
        };
        for (const auto& item : items)
            if (ini_set(store, item.sealed, item.name, item.value) != RC_OK) return RC_FAIL;
    } catch (const std::bad_alloc&) {
        return RC_FAIL;
    }
    store.path = file;
    store.section = SETTINGS_SECTION;
    store.charset = CHARSET_SJIS;
    int rc = ini_save(store);
    ini_free(store);
    return rc;
}

SettingsSnapshot hsc_take_snapshot(const MaskSettings& settings) { return SettingsSnapshot{settings}; }

int hsc_settings_changed(const MaskSettings& settings, const SettingsSnapshot& snapshot) {
    MaskSettings now = settings;
    now.mask_step = snapshot.values.mask_step;  // the strength alone does not count
    now.is_no_backup = snapshot.values.is_no_backup;  // a choice for the run, not stored
    return now == snapshot.values ? -1 : 0;
}

namespace {

std::filesystem::path settings_path_in(const std::filesystem::path& executable_dir,
                                       const std::filesystem::path& config) {
    namespace fs = std::filesystem;
    fs::path portable = executable_dir / SETTINGS_FILE_NAME;
    std::error_code ec;
    if (fs::is_regular_file(portable, ec)) return portable;
    if (config.empty()) return portable;  // no home to go to: keep the settings beside the program
    return config / SETTINGS_FOLDER / SETTINGS_FILE_NAME;
}

}  // namespace

std::filesystem::path settings_path(const std::filesystem::path& executable_dir,
                                    std::string_view xdg_config_home, std::string_view home) {
    return settings_path_in(executable_dir, os::config_folder_from(xdg_config_home, home));
}

std::filesystem::path settings_path(const std::filesystem::path& executable_dir) {
    return settings_path_in(executable_dir, os::config_folder());
}

}  // namespace hsc
