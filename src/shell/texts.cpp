#include "shell/texts.h"

namespace hsc {

// The prefixes of the output names are fillers: the same characters in every language.
std::string help_text(Lang lang) { return say(lang, Msg::builtin_help, {"●", "〇"}); }

const std::string hsc_help_text = help_text(Lang::ja);

std::string hsc_version_text(std::string_view third_line) {
    std::string text(APP_NAME);
    text += "                 \r\nversion : ";
    text += APP_VERSION;
    text += "\r\n";
    text += third_line;
    text += "\r\n";
    return text;
}

// The mask characters are the same in every language; only "none" is a word.
std::array<std::string_view, 3> strength_items(Lang lang) {
    return {message_template(lang, Msg::item_strong), message_template(lang, Msg::item_medium),
            message_template(lang, Msg::item_weak)};
}
std::array<std::string_view, 4> kanji_mask_items(Lang lang) {
    return {"●", "■", "※", message_template(lang, Msg::item_none)};
}
std::array<std::string_view, 3> alpha_mask_items(Lang lang) { return {"*", "X", message_template(lang, Msg::item_none)}; }
std::array<std::string_view, 3> digit_mask_items(Lang lang) { return {"9", "0", message_template(lang, Msg::item_none)}; }
std::array<std::string_view, 3> wchar_mask_items(Lang lang) { return {"×", "¤", message_template(lang, Msg::item_none)}; }

const std::array<std::string_view, 3> STRENGTH_ITEMS = strength_items(Lang::ja);
const std::array<std::string_view, 4> KANJI_MASK_ITEMS = kanji_mask_items(Lang::ja);
const std::array<std::string_view, 3> ALPHA_MASK_ITEMS = alpha_mask_items(Lang::ja);
const std::array<std::string_view, 3> DIGIT_MASK_ITEMS = digit_mask_items(Lang::ja);
const std::array<std::string_view, 3> WCHAR_MASK_ITEMS = wchar_mask_items(Lang::ja);

}  // namespace hsc
