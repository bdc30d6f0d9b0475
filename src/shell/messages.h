#pragma once

#include <cstddef>
#include <deque>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalog.h"
#include "core/reporter.h"

namespace hsc {

// Rows of (message code, template). A template holds at most one "%s", where the
// caller's text goes.
struct MessageRow {
    int code;
    std::string text;
};

class MessageTable {
public:
    explicit MessageTable(std::vector<MessageRow> rows) : rows_(std::move(rows)) {}
    // The rows this program uses, in `lang`: 0 "%s" and 1, the start-up failure.
    // (Japanese unless told: the window's start-up predates the language.)
    static MessageTable standard(Lang lang = Lang::ja);
    const std::vector<MessageRow>& rows() const { return rows_; }

private:
    std::vector<MessageRow> rows_;
};

inline constexpr int TIV_MSG_TEXT = 0;
inline constexpr int TIV_MSG_INIT_ERROR = 1;
inline constexpr std::size_t TIV_NAME_MAX = 83;
inline constexpr std::size_t TIV_MESSAGE_MAX = 200;
inline constexpr std::size_t TIV_MESSAGES_MAX = 32;

// The application context of the start-up failure path.
struct TivContext {
    explicit TivContext(const MessageTable& table) : table(&table) {}

    const MessageTable* table;
    std::string name = "Hushcel";  // caption of the error box
    int output_mode = 0;           // 0: a message box; otherwise the error stream
    std::string third_line;        // third line of the version box
    std::deque<std::string> messages;  // pending, oldest first
    int message_code = 0;          // code of the next message to format; 0 none
};

// The template of the first row with that code in out: 0, or -1 when there is none.
int tiv_find_message(const MessageTable& table, int code, std::string& out);

// Formats text under the context's message code (then resets the code) and appends it
// to the pending messages. Always 0.
int tiv_push_message(TivContext& context, std::string_view text);

// Output mode 0: the newest pending message goes to box.error (caption = context name);
// otherwise every pending message is written to stream, one a line. Then the pending
// messages and the code are cleared. Always 0.
int tiv_show_messages(TivContext& context, std::ostream& stream, Reporter& box);

// A failed start-up step: formats "TIV-00001: <step>初期化エラー。処理を中断します。" and
// shows it. The caller then ends the process with exit code 0.
void hsc_startup_failure(TivContext& context, std::string_view step, std::ostream& stream, Reporter& box);

}  // namespace hsc
