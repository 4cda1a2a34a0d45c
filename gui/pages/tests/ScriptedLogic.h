#pragma once
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gui/shell/tests/QuietController.h"

// A logic for the GUI's tests: posts scripted messages and payloads through the real message
// queue (Hubvane), which tells the GUI's notification centre; hands each payload out once; and
// records the calls of slots 3 (EnterConnectStage), 4 (StartConnect), 6 and 7 (the options) and
// 15 (the answer to the root question).
class ScriptedLogic : public QuietController {
public:
    ScriptedLogic();
    // Drops whatever this logic posted and nobody fetched.
    ~ScriptedLogic() override;

    void Post(unsigned id, const void* data = nullptr, unsigned length = 0);
    // The device text as the logic sends it: UTF-16 with its terminating zero.
    void PostText(unsigned id, const std::u16string& text);
    void PostResult(unsigned id, ResultCode result);

    ResultCode EnterConnectStage() override;
    ResultCode StartConnect() override;
    ResultCode ChooseOption1() override;
    ResultCode ChooseOption2() override;
    ResultCode GetMsg(unsigned id, void* buf, unsigned* len) override;
    ResultCode AnswerRootFailed(bool yes) override;

    // Calls of each slot so far.
    int Calls(int slot) const { return slot >= 0 && slot < 16 ? calls_[slot] : 0; }
    const std::vector<bool>& RootAnswers() const { return rootAnswers_; }
    // Runs on every EnterConnectStage (a logic that reports the phone again, say).
    std::function<void()> onEnterConnectStage;

private:
    int calls_[16] = {};
    std::vector<bool> rootAnswers_;
    std::set<unsigned> posted_;
};
