#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/reporter.h"

namespace hsc::test {

// Records every message and answers questions from a queue (No when it runs dry).
class RecordingReporter final : public Reporter {
public:
    void error(std::string_view text) override { errors.emplace_back(text); }
    bool ask_yes_no(std::string_view text) override {
        questions.emplace_back(text);
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void info(std::string_view text) override { infos.emplace_back(text); }

    std::vector<std::string> errors, questions, infos;
    std::deque<bool> answers;
};

}  // namespace hsc::test
