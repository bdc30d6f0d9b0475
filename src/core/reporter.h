#pragma once

#include <string>
#include <string_view>

#include "core/catalog.h"
#include "core/progress.h"

namespace hsc {

// Everything a user must see from the core goes through this interface: the GUI shows
// message boxes, the CLI prints to stderr, tests record. The core never calls a UI.
class Reporter {
public:
    virtual ~Reporter() = default;
    // A failure; one call per failure, the text as the user reads it (UTF-8).
    virtual void error(std::string_view text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool ask_yes_no(std::string_view text) = 0;
    // A notice that needs no answer.
    virtual void info(std::string_view text) { (void)text; }

    // A question that may come again for the other files of a batch; `kind` names it.
    // A reporter that offers "apply to all" answers the rest of the batch from one
    // answer (the shell does); this one asks each time.
    virtual bool ask(Msg kind, std::string_view text) {
        (void)kind;
        return ask_yes_no(text);
    }
    // The same question with the offer to answer it for the rest of the batch.
    enum class Answer { yes, no, yes_to_all, no_to_all };
    virtual Answer ask_for_all(std::string_view text) { return ask_yes_no(text) ? Answer::yes : Answer::no; }

    // How far the current file has come; called from the thread doing the work, never
    // from two threads at once.
    virtual void progress(const Progress& p) { (void)p; }
    // Looked at between the steps of a file (and as its parts go by): true stops the
    // file there, with nothing written, and the rest of the batch.
    virtual bool cancelled() { return false; }
};

// Swallows everything and answers No; for callers that have no user to ask.
class SilentReporter final : public Reporter {
public:
    void error(std::string_view) override {}
    bool ask_yes_no(std::string_view) override { return false; }
};

}  // namespace hsc
