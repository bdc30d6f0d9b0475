#pragma once

#include <string>
#include <string_view>

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
};

// Swallows everything and answers No; for callers that have no user to ask.
class SilentReporter final : public Reporter {
public:
    void error(std::string_view) override {}
    bool ask_yes_no(std::string_view) override { return false; }
};

}  // namespace hsc
