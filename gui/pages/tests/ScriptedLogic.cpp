#include "gui/pages/tests/ScriptedLogic.h"

#include "gui/shell/CNotifyCentor.h"
#include "msgcenter/CMsgCenter.h"

ScriptedLogic::ScriptedLogic() { CMsgCenter::Instance().Initialize(CNotifyCentor::Instance()); }

ScriptedLogic::~ScriptedLogic() {
    // The queue keeps at most one payload per id.
    for (unsigned id : posted_) CMsgCenter::Instance().RemovePreMsg(static_cast<_RELIKORDA_MSG>(id));
}

void ScriptedLogic::Post(unsigned id, const void* data, unsigned length) {
    posted_.insert(id);
    CMsgCenter::Instance().PushMsg(id, const_cast<void*>(data), length);
}

void ScriptedLogic::PostText(unsigned id, const std::u16string& text) {
    Post(id, text.c_str(), static_cast<unsigned>((text.size() + 1) * sizeof(char16_t)));
}

void ScriptedLogic::PostResult(unsigned id, ResultCode result) { Post(id, &result, sizeof result); }

ResultCode ScriptedLogic::EnterConnectStage() {
    ++calls_[3];
    if (onEnterConnectStage) onEnterConnectStage();
    return RK_OK;
}

ResultCode ScriptedLogic::StartConnect() {
    ++calls_[4];
    return RK_OK;
}

ResultCode ScriptedLogic::ChooseOption1() {
    ++calls_[6];
    return RK_OK;
}

ResultCode ScriptedLogic::ChooseOption2() {
    ++calls_[7];
    return RK_OK;
}

ResultCode ScriptedLogic::GetMsg(unsigned id, void* buf, unsigned* len) {
    if (!len) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    return CMsgCenter::Instance().GetMsg(static_cast<_RELIKORDA_MSG>(id), buf, *len);
}

ResultCode ScriptedLogic::AnswerRootFailed(bool yes) {
    ++calls_[15];
    rootAnswers_.push_back(yes);
    return RK_OK;
}
