#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "ui/Messages.h"

namespace kestrel::testing {

// Messages that a test expects, in order, with the button "pressed" for each. An unexpected
// message fails the test at once; an expected one never shown fails it at destruction.
class ScriptedMessages final : public Messages {
public:
    struct Expected {
        std::string text;
        MessageIcon icon;
        MessageAnswer answer;
        std::string caption = "Kestrel";
    };

    ScriptedMessages() = default;
    ScriptedMessages(std::initializer_list<Expected> expected) : expected_(expected) {}
    ~ScriptedMessages() override
    {
        for (const Expected& unused : expected_) {
            ADD_FAILURE() << "expected message never shown: " << unused.text;
        }
    }
    ScriptedMessages(const ScriptedMessages&) = delete;
    ScriptedMessages& operator=(const ScriptedMessages&) = delete;

    void Expect(std::string text, MessageIcon icon, MessageAnswer answer,
                std::string caption = "Kestrel")
    {
        expected_.push_back({std::move(text), icon, answer, std::move(caption)});
    }

    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons) override
    {
        if (expected_.empty()) {
            ADD_FAILURE() << "unexpected message: " << text;
            return MessageAnswer::Cancel;
        }
        Expected next = expected_.front();
        expected_.pop_front();
        EXPECT_EQ(next.text, text);
        EXPECT_EQ(next.icon, icon) << text;
        EXPECT_EQ(next.caption, caption) << text;
        return next.answer;
    }

private:
    std::deque<Expected> expected_;
};

}  // namespace kestrel::testing
