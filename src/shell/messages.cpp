#include "shell/messages.h"

#include <cstdio>
#include <ostream>

#include "shell/text_limits.h"

namespace hsc {

MessageTable MessageTable::standard(Lang lang) {
    return MessageTable({
        {TIV_MSG_TEXT, "%s"},
        {TIV_MSG_INIT_ERROR, std::string(message_template(lang, Msg::init_error))},
    });
}

int tiv_find_message(const MessageTable& table, int code, std::string& out) {
    for (const MessageRow& row : table.rows()) {
        if (row.code == code) {
            out = row.text;
            return 0;
        }
    }
    out.clear();
    return -1;
}

namespace {

std::string code_prefix(int code) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "TIV-%05d: ", code);
    return buf;
}

}  // namespace

int tiv_push_message(TivContext& context, std::string_view text) {
    std::string body = utf8_prefix(text, TIV_MESSAGE_MAX);
    if (auto lf = body.find('\n'); lf != std::string::npos) body.resize(lf);

    std::string message;
    if (context.message_code != 0) {
        std::string templ;
        if (tiv_find_message(*context.table, context.message_code, templ) == 0) {
            // The caller's text takes the place of the template's first "%s".
            std::string prefix = templ, suffix;
            if (auto at = templ.find("%s"); at != std::string::npos) {
                prefix = templ.substr(0, at);
                suffix = templ.substr(at + 2);
            }
            message = code_prefix(context.message_code) + prefix + body + suffix;
        } else {
            message = code_prefix(context.message_code) + body;
        }
        context.message_code = 0;
    } else {
        message = std::move(body);
    }

    if (context.messages.size() >= TIV_MESSAGES_MAX) context.messages.pop_front();
    context.messages.push_back(utf8_prefix(message, TIV_MESSAGE_MAX));
    return 0;
}

int tiv_show_messages(TivContext& context, std::ostream& stream, Reporter& box) {
    if (!context.messages.empty()) {
        if (context.output_mode == 0) {
            box.error(context.messages.back());
        } else {
            for (const std::string& m : context.messages) stream << m << '\n';
            stream.flush();
        }
    }
    context.messages.clear();
    context.message_code = 0;
    return 0;
}

void hsc_startup_failure(TivContext& context, std::string_view step, std::ostream& stream, Reporter& box) {
    context.message_code = TIV_MSG_INIT_ERROR;
    tiv_push_message(context, step);
    tiv_show_messages(context, stream, box);
}

}  // namespace hsc
