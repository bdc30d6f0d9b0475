#include "core/cp932.h"

#include <cstdio>

#include "os/codepage.h"

namespace hsc {
namespace {

bool is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

bool utf8_to_cp932(std::string_view utf8, std::string& out) { return os::utf8_to_cp932(utf8, out); }

bool cp932_to_utf8(std::string_view cp932, std::string& out) { return os::cp932_to_utf8(cp932, out); }

std::string cp932_display(std::string_view cp932) {
    std::string text;
    if (cp932_to_utf8(cp932, text)) return text;
    // Character by character, so one bad byte does not hide the readable rest.
    text.clear();
    for (std::size_t i = 0; i < cp932.size();) {
        std::size_t n = is_lead_byte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size() ? 2 : 1;
        std::string piece;
        if (cp932_to_utf8(cp932.substr(i, n), piece)) {
            text += piece;
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                char esc[5];
                std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(cp932[i + k]));
                text += esc;
            }
        }
        i += n;
    }
    return text;
}

std::string original_password_problem(const MaskSettings& settings, Lang lang) {
    MaskSettings compat = settings;
    compat.is_compat = true;
    StoredSettings stored;
    std::string message;
    return stored_settings(compat, stored, message, lang) ? std::string() : message;
}

bool stored_settings(const MaskSettings& settings, StoredSettings& stored, std::string& message, Lang lang) {
    struct Field {
        const std::string& text;
        std::string MaskSettings::*member;
        std::size_t limit;
        Msg name;
    };
    const Field fields[] = {
        {settings.password, &MaskSettings::password, PASSWORD_MAX, Msg::setting_password},
        {settings.password_hint, &MaskSettings::password_hint, HINT_MAX, Msg::setting_password_hint},
        {settings.keyfile_hint, &MaskSettings::keyfile_hint, HINT_MAX, Msg::setting_keyfile_hint},
    };
    // The other choices as they are; the texts are replaced by their CP932 form below.
    StoredSettings copy;
    static_cast<MaskSettings&>(copy) = settings;
    copy.password_utf8 = settings.password;
    for (const Field& f : fields) {
        std::string bytes;
        std::string problem;
        if (!utf8_to_cp932(f.text, bytes))
            problem = say(lang, Msg::setting_not_cp932, {say(lang, f.name)});
        else if (bytes.size() > f.limit)
            problem = say(lang, Msg::setting_too_long,
                          {say(lang, f.name), std::to_string(f.limit), std::to_string(bytes.size())});
        // Outside the compatible format the password is the strong format's UTF-8 text;
        // only a workbook of the original format would need the CP932 form.
        const bool password = f.member == &MaskSettings::password;
        if (!problem.empty() && password && !settings.is_compat) {
            copy.password.clear();
            copy.has_original_password = false;
            continue;
        }
        if (!problem.empty()) {
            message = password ? say(lang, Msg::compat_password_limit, {problem}) : problem;
            return false;
        }
        copy.*f.member = std::move(bytes);
    }
    stored = std::move(copy);
    return true;
}

}  // namespace hsc
