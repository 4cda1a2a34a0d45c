#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sqlite_recovery/framework/ICommon.h"

// Read-only views over one recovered conversation, handed to the GUI and the logic library. Every
// ISMSData and ISMSItem handed out is new and released by the caller; they point into their
// session and are valid only while it lives.

// One part of a message: a text (type 1) or a file (2 picture, 3 audio, 4 video, 5 other).
class RK_INTERFACE ISMSItem : public ICommon {
public:
    ~ISMSItem() override;
    // Null when the part has no file name.
    virtual const char* GetFileName() = 0;
    virtual int GetType() = 0;
    // The NUL-terminated text (type 1) or the decoded bytes (types 2 to 5); null otherwise.
    virtual const char* GetData() = 0;
    // Text: its byte length + 1. File: the number of bytes GetData holds.
    virtual int GetLength() = 0;
};

// One message of a conversation.
class RK_INTERFACE ISMSData : public ICommon {
public:
    ~ISMSData() override;
    virtual ISMSItem* FirstItem() = 0;
    virtual ISMSItem* NextItem() = 0;
    virtual int IsDeleted() = 0;
    virtual int GetSend() = 0;
    // Seconds since 1970-01-01 UTC, clamped to the range of int.
    virtual int GetDate() = 0;
    // 1 sms, 2 mms, 0 otherwise.
    virtual int GetType() = 0;
    // 1 when a text part contains the (upper-case) keyword; an empty keyword matches.
    virtual int Matches(const char* keyword) = 0;
    virtual int IsFailed() = 0;
    // The same date with its full 64 bits.
    virtual int64_t GetDate64() = 0;
};

// One conversation with one partner.
class RK_INTERFACE ISMSSession : public ICommon {
public:
    ~ISMSSession() override;
    virtual ISMSData* FirstData() = 0;
    virtual ISMSData* NextData() = 0;
    virtual ISMSData* LastData() = 0;
    // UTF-8, never null.
    virtual const char* GetNumber() = 0;
    virtual const char* GetName() = 0;
    virtual int GetTotal() = 0;
    virtual int GetDeletedCount() = 0;
    // 1 when the number, the name or a message contains the (upper-case) keyword.
    virtual int Matches(const char* keyword) = 0;
};

// The conversation document a session was made from; every session made by CreateSmsSession is
// one (reached by a run-time cast), so that a caller can store the document as it stands.
class RK_INTERFACE ISMSDocument {
public:
    virtual ~ISMSDocument();
    // Put together anew on each call: a run holds every conversation, and the whole documents of
    // all of them beside what the sessions keep would take as much again.
    virtual std::string DocumentText() = 0;
    // The same text as pieces to be written one after another, without putting it together: they
    // point into the session and are valid while it lives.
    virtual void DocumentPieces(std::vector<std::pair<const char*, size_t>>* pieces) = 0;
    // Whether a message holds a file (a part of type 2 to 5): a caller after the files need not
    // step through the messages of a conversation of texts.
    virtual bool HoldsFiles() = 0;
};

// What a message is in its box: "received", "sent", "draft", "outbox", "failed" or "queued"; for a
// message made from a text alone, whose box and direction nobody knows, where the text was found:
// "snippet" (its thread's snippet, dated like the thread) or "index" (the word index); "unknown"
// for a message whose record kept no type (nor so its direction); empty when the document does
// not say. Every ISMSData made from a document is one (reached by a run-time
// cast), so that ISMSData's slots stay as they are.
class RK_INTERFACE ISMSMessageKind {
public:
    virtual ~ISMSMessageKind();
    virtual const char* GetKind() = 0;
    // 1 when a text of the message is only the part of it that could be read.
    virtual int IsCut() = 0;
};

// A session over a conversation document; null when the text is null or memory runs out. A text that
// does not parse gives an empty conversation.
ISMSSession* CreateSmsSession(const char* xmlText);
