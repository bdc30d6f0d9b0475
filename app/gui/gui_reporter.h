#pragma once

#include <QString>

#include "core/reporter.h"
#include "message_box.h"

namespace hsc::gui {

// Per-file messages as message boxes: no owner, kept on top, so they are seen while
// the window is busy.
class GuiReporter final : public Reporter {
public:
    void error(std::string_view text) override {
        MessageBox::show(nullptr, MessageBox::Critical, qs(text), false, true);
    }
    bool ask_yes_no(std::string_view text) override {
        return MessageBox::show(nullptr, MessageBox::Question, qs(text), true, true) == MessageBox::Yes;
    }
    Answer ask_for_all(std::string_view text) override {
        switch (MessageBox::askForAll(qs(text))) {
            case MessageBox::Yes: return Answer::yes;
            case MessageBox::YesToAll: return Answer::yes_to_all;
            case MessageBox::NoToAll: return Answer::no_to_all;
            default: return Answer::no;
        }
    }
    void info(std::string_view text) override {
        MessageBox::show(nullptr, MessageBox::Information, qs(text), false, true);
    }

private:
    static QString qs(std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); }
};

}  // namespace hsc::gui
