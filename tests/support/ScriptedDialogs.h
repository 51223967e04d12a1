#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "ui/Dialogs.h"

namespace kestrel::testing {

// File choosers and password prompts that a test expects, in order, with the answer the
// "user" gives (nothing: cancelled). A request that differs from the expected one or comes
// unexpected fails the test at once; an expected one never made fails it at destruction.
class ScriptedDialogs final : public Dialogs {
public:
    enum class Kind { Save, Open, Password };
    struct Expected {
        Kind kind;
        FileDialogRequest request;  // not checked for the password prompt
        std::optional<std::string> answer;
    };

    ScriptedDialogs() = default;
    ~ScriptedDialogs() override
    {
        for (const Expected& unused : expected_) {
            ADD_FAILURE() << "expected dialog never shown: " << Name(unused.kind) << " "
                          << unused.request.title;
        }
    }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void Expect(Kind kind, FileDialogRequest request, std::optional<std::string> answer)
    {
        expected_.push_back({kind, std::move(request), std::move(answer)});
    }

    std::optional<std::string> ChooseSaveFile(const FileDialogRequest& request) override
    {
        return Answer(Kind::Save, &request);
    }
    std::optional<std::string> ChooseOpenFile(const FileDialogRequest& request) override
    {
        return Answer(Kind::Open, &request);
    }
    std::optional<std::string> AskPassword() override { return Answer(Kind::Password, nullptr); }

private:
    static const char* Name(Kind kind)
    {
        return kind == Kind::Save ? "save dialog" : kind == Kind::Open ? "open dialog" : "password";
    }

    std::optional<std::string> Answer(Kind kind, const FileDialogRequest* request)
    {
        if (expected_.empty()) {
            ADD_FAILURE() << "unexpected " << Name(kind)
                          << (request != nullptr ? ": " + request->title : std::string());
            return std::nullopt;
        }
        Expected next = expected_.front();
        expected_.pop_front();
        EXPECT_EQ(Name(next.kind), std::string(Name(kind)));
        if (request != nullptr) {
            EXPECT_EQ(next.request.title, request->title);
            EXPECT_EQ(next.request.filter, request->filter) << request->title;
            EXPECT_EQ(next.request.folder, request->folder) << request->title;
            EXPECT_EQ(next.request.proposedName, request->proposedName) << request->title;
            EXPECT_EQ(next.request.defaultExtension, request->defaultExtension) << request->title;
        }
        return next.answer;
    }

    std::deque<Expected> expected_;
};

}  // namespace kestrel::testing
