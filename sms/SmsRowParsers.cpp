#include "sms/SmsRowParsers.h"

#include <cstring>
#include <memory>
#include <new>

#include "sms/CAddrTableRow.h"
#include "sms/CCanonicalAddressesTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "sms/CWordsContentTableRow.h"
#include "sms/SmsContentTypes.h"
#include "sms/SmsTextConversion.h"
#include "sqlite_recovery/framework/SafeFileName.h"
#include "sqlite_recovery/framework/TextUtils.h"

namespace {

template <size_t N>
constexpr size_t CountOf(const char* const (&)[N]) {
    return N;
}

template <class Row>
std::unique_ptr<Row> NewRow(bool live, const FieldValue& id) {
    std::unique_ptr<Row> row(new (std::nothrow) Row);
    if (row) {
        row->live = live ? 1 : 0;
        row->id = id.ToInt64();
    }
    return row;
}

std::string Utf8Text(const FieldValue& value) { return ToTextInCharset(value, kCharsetUtf8); }

// The longest alphanumeric sender the network carries: 11 characters.
constexpr size_t kMaxSenderNameChars = 11;
constexpr size_t kMaxEmailBytes = 254;

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// user@host.domain with a top-level label of letters of any length (".example", ".museum"), which
// the stricter e-mail test of the contacts refuses.
bool IsMailAddress(const std::string& text) {
    if (text.size() > kMaxEmailBytes) return false;
    size_t at = text.find('@');
    if (at == std::string::npos || at == 0 || text.find('@', at + 1) != std::string::npos) return false;
    for (size_t i = 0; i < at; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c <= ' ' || c >= 0x7F || c == '<' || c == '>' || c == '"' || c == ',' || c == ';') return false;
    }
    std::string domain = text.substr(at + 1);
    size_t lastDot = domain.rfind('.');
    if (lastDot == std::string::npos || lastDot == 0 || lastDot + 3 > domain.size()) return false;
    for (size_t i = lastDot + 1; i < domain.size(); ++i)
        if (!IsAsciiLetter(static_cast<unsigned char>(domain[i]))) return false;
    for (size_t i = 0; i < domain.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(domain[i]);
        if (c == '.') {
            if (i == 0 || domain[i - 1] == '.') return false;
        } else if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '-') {
            return false;
        }
    }
    return true;
}

// A sender's name as the network delivers it instead of a number ("AcmeBank", "Info-Svc"): at
// most 11 characters, a letter among them, no control or invisible format character, no blank at
// either end.
bool IsSenderName(const std::string& text) {
    if (text.empty() || SkipValidUtf8(text.data(), text.size()) != text.size()) return false;
    if (text.front() == ' ' || text.back() == ' ') return false;
    size_t chars = 0;
    bool letter = false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;  // inside a character
        if (++chars > kMaxSenderNameChars) return false;
        if (c >= 0x80) {
            // Letters of other scripts; C1 controls and format characters are refused.
            size_t length = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            char32_t value = c & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
            for (size_t k = 1; k < length; ++k) value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            if (value <= 0x9F || IsInvisibleFormatCharacter(value)) return false;
            letter = true;
        } else if (IsAsciiLetter(c)) {
            letter = true;
        } else if (!IsAsciiDigit(c) && !std::strchr(" .-_&'+!", static_cast<char>(c))) {
            return false;
        }
    }
    return letter;
}

std::string StripAngleBrackets(std::string text) {
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>') text = text.substr(1, text.size() - 2);
    return text;
}

const char* const kThreadsColumns[] = {
    "_id", "date", "recipient_ids", "snippet", "type"};
constexpr char kThreadsClasses[] = "iitti";
static_assert(sizeof kThreadsClasses - 1 == CountOf(kThreadsColumns), "one class per column");


CTableRow* BuildThreadsRow(const FieldValue* v, bool live) {
    auto row = NewRow<CThreadsTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->date = v[1].ToInt64() / 1000;
    std::string recipients = Utf8Text(v[2]);
    if (recipients.empty() || !ParseRecipientIds(row->recipientIds, recipients)) return nullptr;
    row->snippet = Utf8Text(v[3]);
    int64_t type = v[4].ToInt64();
    if (type != 0 && type != 1) return nullptr;
    row->type = static_cast<int>(type);
    return row.release();
}

const char* const kAddrColumns[] = {"_id",     "msg_id", "contact_id",
                                  "address", "type",   "charset"};
constexpr char kAddrClasses[] = "iiitii";
static_assert(sizeof kAddrClasses - 1 == CountOf(kAddrColumns), "one class per column");


CTableRow* BuildAddrRow(const FieldValue* v, bool live) {
    auto row = NewRow<CAddrTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->messageId = v[1].ToInt64();
    row->contactId = v[2].ToInt64();
    row->address = Utf8Text(v[3]);
    if (row->address.empty()) return nullptr;
    if (row->address != "insert-address-token" && !IsMessageAddress(row->address)) return nullptr;
    int64_t type = v[4].ToInt64();
    if (type != 129 && type != 130 && type != 137 && type != 151) return nullptr;
    row->type = static_cast<int>(type);
    row->charset = v[5].ToInt64();
    return row.release();
}

const char* const kCanonicalColumns[] = {"_id", "address"};
constexpr char kCanonicalClasses[] = "it";
static_assert(sizeof kCanonicalClasses - 1 == CountOf(kCanonicalColumns), "one class per column");


CTableRow* BuildCanonicalRow(const FieldValue* v, bool live) {
    auto row = NewRow<CCanonicalAddressesTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->address = Utf8Text(v[1]);
    if (row->address.empty() || !IsMessageAddress(row->address)) return nullptr;
    return row.release();
}

const char* const kSmsColumns[] = {"_id",  "thread_id", "address",
                                 "date", "type",      "body"};
constexpr char kSmsClasses[] = "iitiit";
static_assert(sizeof kSmsClasses - 1 == CountOf(kSmsColumns), "one class per column");


CTableRow* BuildSmsRow(const FieldValue* v, bool live) {
    auto row = NewRow<CSmsTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->threadId = v[1].ToInt64();
    row->address = Utf8Text(v[2]);
    if (!IsMessageAddress(row->address)) row->address.clear();
    row->date = v[3].ToInt64() / 1000;
    int64_t type = v[4].ToInt64();
    if (type < 0 || type > 6) return nullptr;
    row->type = static_cast<int>(type);
    // A table without the column (a reduced export) or a record without a value says nothing of
    // the message's direction.
    row->typeKnown = v[4].kind != FieldValue::Null;
    row->body = Utf8Text(v[5]);
    if (row->body.empty() || IsBlankText(row->body)) return nullptr;
    // Only a part of it could be read, or it was taken up to bytes that do not continue the text.
    row->cut = v[5].cut || row->body.size() < v[5].length;
    return row.release();
}

const char* const kPduColumns[] = {"_id", "thread_id", "date", "msg_box",
                                 "sub", "sub_cs",    "ct_t"};
constexpr char kPduClasses[] = "iiiitit";
static_assert(sizeof kPduClasses - 1 == CountOf(kPduColumns), "one class per column");


CTableRow* BuildPduRow(const FieldValue* v, bool live) {
    auto row = NewRow<CPduTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->idKnown = v[0].kind != FieldValue::Null;
    row->threadId = v[1].ToInt64();
    row->date = v[2].ToInt64();
    int64_t box = v[3].ToInt64();
    if (box < 0 || box > 4) return nullptr;
    row->messageBox = static_cast<int>(box);
    row->subjectCharset = v[5].IsPresent() ? v[5].ToInt64() : kCharsetUtf8;
    // A subject that does not decode leaves the message without one; the message itself is kept.
    if (v[4].IsPresent()) row->subject = ToTextInCharset(v[4], row->subjectCharset);
    std::string multipart = Utf8Text(v[6]);
    if (multipart.empty()) return nullptr;
    row->multipartKind = LookupMultipartKind(multipart);
    if (row->multipartKind < 0) return nullptr;
    return row.release();
}

const char* const kPartColumns[] = {"_id", "mid",  "seq",   "ct",
                                  "chset", "cl", "_data", "text",
                                  "cid",  "name",  "fn"};
constexpr char kPartClasses[] = "iiititttttt";
static_assert(sizeof kPartClasses - 1 == CountOf(kPartColumns), "one class per column");


CTableRow* BuildPartRow(const FieldValue* v, bool live) {
    auto row = NewRow<CPartTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->messageId = v[1].ToInt64();
    row->sequence = v[2].ToInt64();
    std::string type = Utf8Text(v[3]);
    if (type.empty()) return nullptr;
    row->contentClass = ClassifyContentType(type);
    if (row->contentClass < 0) return nullptr;
    row->charset = v[4].ToInt64();
    row->contentLocation = Utf8Text(v[5]);
    row->contentId = StripAngleBrackets(Utf8Text(v[8]));
    row->name = Utf8Text(v[9]);
    row->fileName = Utf8Text(v[10]);
    // Without "cl" the part is still named by its content id, name or file name.
    if (row->Location().empty()) return nullptr;
    // Paths on the device are UTF-8 whatever the part's character set.
    if (v[6].IsPresent()) {
        row->dataPath = Utf8Text(v[6]);
        if (row->dataPath.empty()) return nullptr;
    }
    if (v[7].IsPresent()) {
        row->text = Utf8Text(v[7]);
        if (row->text.empty()) return nullptr;
        row->cut = v[7].cut || row->text.size() < v[7].length;
    }
    if (!row->dataPath.empty() && !IsBlankText(row->dataPath)) return row.release();
    if (!row->text.empty() && !IsBlankText(row->text)) return row.release();
    return nullptr;
}

const char* const kWordsColumns[] = {"docid",
                                   "c0_id",
                                   "c1index_text",
                                   "c2source_id",
                                   "c3table_to_use"};

CTableRow* BuildWordsRow(const FieldValue* v, bool live) {
    auto row = NewRow<CWordsContentTableRow>(live, v[0]);
    if (!row) return nullptr;
    row->rowId = v[1].ToInt64();
    row->indexText = Utf8Text(v[2]);
    if (row->indexText.empty() || IsBlankText(row->indexText)) return nullptr;
    row->sourceId = v[3].ToInt64();
    row->tableToUse = v[4].ToInt64();
    if (row->tableToUse == 1) {
        if (row->rowId != row->sourceId) return nullptr;
    } else if (row->tableToUse == 2) {
        if (row->rowId != row->sourceId + 2) return nullptr;
    } else {
        return nullptr;
    }
    return row.release();
}


}  // namespace

bool IsMessageAddress(const std::string& text) {
    return IsPhoneNumberText(text) || IsEmailAddress(text) || IsMailAddress(text) || IsSenderName(text);
}

bool FitsColumnClass(const FieldValue& value, char columnClass) {
    switch (columnClass) {
    case 'i':
        return value.kind == FieldValue::Null || value.kind == FieldValue::Constant ||
               value.kind == FieldValue::SmallInteger || (value.kind == FieldValue::WideNumber && !value.isReal);
    case 't':
        return value.kind == FieldValue::Null || value.kind == FieldValue::Text || value.kind == FieldValue::Blob;
    default:
        return true;
    }
}

const SmsTableLayout kThreadsLayout = {"threads", kThreadsColumns, CountOf(kThreadsColumns), BuildThreadsRow,
                                    kThreadsClasses};
const SmsTableLayout kAddrLayout = {"addr", kAddrColumns, CountOf(kAddrColumns), BuildAddrRow, kAddrClasses};
const SmsTableLayout kCanonicalAddressesLayout = {"canonical_addresses", kCanonicalColumns,
                                                  CountOf(kCanonicalColumns), BuildCanonicalRow, kCanonicalClasses};
const SmsTableLayout kSmsLayout = {"sms", kSmsColumns, CountOf(kSmsColumns), BuildSmsRow, kSmsClasses};
const SmsTableLayout kPduLayout = {"pdu", kPduColumns, CountOf(kPduColumns), BuildPduRow, kPduClasses};
const SmsTableLayout kPartLayout = {"part", kPartColumns, CountOf(kPartColumns), BuildPartRow, kPartClasses};
const SmsTableLayout kWordsContentLayout = {"words_content", kWordsColumns, CountOf(kWordsColumns),
                                            BuildWordsRow, nullptr};  // full-text columns have no types
