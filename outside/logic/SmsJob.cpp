#include "outside/logic/SmsJob.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <vector>

#include "outside/device/CDeviceFolder.h"
#include "outside/logic/ContactsJob.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/OutputFolder.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sms/PartFileName.h"
#include "sqlite_recovery/framework/SafeFileName.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "platform/PageMemory.h"

namespace {

// Writes value as width decimal digits, zeros before it.
char* PutDigits(char* at, int64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
    return at + width;
}

// The tag of a message that is not simply received or sent.
const char* KindTag(ISMSData* data, const char* name) {
    static const char* const kTagged[][2] = {
        {"draft", "  [draft]"}, {"outbox", "  [outbox]"}, {"failed", "  [failed]"}, {"queued", "  [queued]"}};
    for (const auto& tagged : kTagged)
        if (std::strcmp(name, tagged[0]) == 0) return tagged[1];
    if (!*name && data->IsFailed()) return "  [failed]";  // a document that does not say more
    return "";
}

std::string AttachmentName(const char* fileName) {
    return CleanFileName(SanitizePartFileName(fileName ? fileName : ""));
}

// Counts the attachments of one conversation and writes them (when write), each file new; names
// each one it could not write and counts it lost.
void WriteAttachments(ISMSSession* session, const std::string& outFolder, const std::string& folder, bool write,
                      SmsRunCounts* found) {
    auto* document = dynamic_cast<ISMSDocument*>(session);
    if (document && !document->HoldsFiles()) return;
    bool made = false;
    int index = 0;
    std::set<std::string> used;
    std::string reason;
    for (Held<ISMSData> data(session->FirstData()); data; data.reset(session->NextData())) {
        for (Held<ISMSItem> item(data->FirstItem()); item; item.reset(data->NextItem())) {
            int type = item->GetType();
            if (type < 2 || type > 5 || !item->GetData() || item->GetLength() <= 0) continue;
            ++index;
            ++found->attachments;
            if (write && !made && !(made = MakeFoldersBelow(outFolder, folder, &reason))) {
                std::fprintf(stderr, "relikorda-recover: %s\n", reason.c_str());
                write = false;
            }
            if (!write) {
                ++found->lost;
                continue;
            }
            std::string path = UniqueAttachmentPath(folder, item->GetFileName(), index, &used);
            if (path.empty()) {
                ReportLostFile(platform::JoinPath(folder, AttachmentName(item->GetFileName())), "no free name is left");
                ++found->lost;
                continue;
            }
            if (!WriteNewFile(path, item->GetData(), static_cast<size_t>(item->GetLength()), &reason)) {
                ReportLostFile(path, reason);
                ++found->lost;
            }
        }
    }
}

}  // namespace

std::string MessageDateText(int64_t seconds) {
    // A message the phone kept no date for (the word index's and the snippets' texts) has 0.
    if (seconds <= 0) return "date unknown";
    // Years of four digits are written here, as strftime would write them from gmtime: a large
    // phone's conversations date a million messages, and those two take a thousand steps each.
    constexpr int64_t kYear10000 = 253402300800;
    if (seconds < kYear10000) {
        // The civil date of a day count (from 1970-01-01), by the proleptic Gregorian calendar in
        // eras of 400 years that begin on a 1 March.
        const int64_t days = seconds / 86400 + 719468, time = seconds % 86400;
        const int64_t era = days / 146097, dayOfEra = days - era * 146097;
        const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
        const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
        const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
        const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
        char text[24];
        char* at = PutDigits(text, year, 4);
        *at++ = '-';
        at = PutDigits(at, month, 2);
        *at++ = '-';
        at = PutDigits(at, day, 2);
        *at++ = ' ';
        at = PutDigits(at, time / 3600, 2);
        *at++ = ':';
        at = PutDigits(at, time / 60 % 60, 2);
        *at++ = ':';
        at = PutDigits(at, time % 60, 2);
        std::memcpy(at, " UTC", 4);
        return std::string(text, static_cast<size_t>(at + 4 - text));
    }
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[40];
    if (!gmtime_r(&time, &parts) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts))
        return std::to_string(seconds);
    return text;
}

std::string UniqueAttachmentPath(const std::string& folder, const char* fileName, int index,
                                 std::set<std::string>* used) {
    std::string name = AttachmentName(fileName);
    if (name.empty()) name = "attachment_" + std::to_string(index);
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    for (int n = 0; n < 1000; ++n) {
        std::string candidate = n == 0 ? name : stem + "_" + std::to_string(n) + ext;
        if (used->insert(candidate).second) return platform::JoinPath(folder, candidate);
    }
    return std::string();
}

std::string RenderConversation(ISMSSession* session) {
    std::string partner = session->GetNumber();
    if (*session->GetName()) partner = std::string(session->GetName()) + " (" + session->GetNumber() + ")";
    // Appended in place: a message's text may run to many megabytes, and each temporary would copy it.
    std::string text = "Conversation with ";
    text += partner;
    text += ": ";
    text += std::to_string(session->GetTotal());
    text += " messages, ";
    text += std::to_string(session->GetDeletedCount());
    text += " deleted\n";
    for (Held<ISMSData> data(session->FirstData()); data; data.reset(session->NextData())) {
        auto* kind = dynamic_cast<ISMSMessageKind*>(data.get());
        const char* name = kind && kind->GetKind() ? kind->GetKind() : "";
        // A text found alone (a thread's snippet, the word index) says nothing of its direction, nor
        // does a record that kept no type; a snippet bears its thread's date, which need not be the
        // message's.
        const bool snippet = std::strcmp(name, "snippet") == 0, textAlone = snippet || std::strcmp(name, "index") == 0;
        const bool directionUnknown = textAlone || std::strcmp(name, "unknown") == 0;
        text += '\n';
        text += MessageDateText(data->GetDate64());
        if (snippet && data->GetDate64() > 0) text += " (the thread's date)";
        text += data->GetType() == 2 ? "  MMS " : "  SMS ";
        if (directionUnknown) {
            text += "with ";
            text += partner;
            text += ", direction unknown";
            if (textAlone) text += snippet ? ", from the thread's snippet" : ", from the word index";
        } else {
            text += data->GetSend() ? "to " : "from ";
            text += partner;
        }
        text += KindTag(data.get(), name);
        if (kind && kind->IsCut()) text += "  [cut]";
        if (data->IsDeleted()) text += "  [deleted]";
        text += '\n';
        for (Held<ISMSItem> item(data->FirstItem()); item; item.reset(data->NextItem())) {
            if (item->GetType() == 1) {
                text += "  ";
                if (const char* body = item->GetData()) text += body;
                text += '\n';
            } else {
                // The name as the attachment's file has it: the sender's name may hide its kind.
                std::string name = AttachmentName(item->GetFileName());
                text += "  [attachment ";
                text += name.empty() ? std::string("(unnamed)") : name;
                text += ", ";
                text += std::to_string(item->GetLength());
                text += " bytes]\n";
            }
        }
    }
    return text;
}

bool WriteConversations(IDataContainer<_SMS_INFOMATION>* container, const std::string& outFolder,
                        SmsRunCounts* counts, bool tickedOnly, IWriteObserver* observer) {
    bool ok = true;
    std::string folder = platform::JoinPath(outFolder, "sms");
    SmsRunCounts found;
    container->Lock();
    std::vector<std::pair<unsigned, ISMSSession*>> sessions;
    for (auto it = container->Begin(); it != container->End(); ++it)
        if (it->second.session && (it->second.check || !tickedOnly)) sessions.emplace_back(it->first, it->second.session);
    container->Unlock();
    std::sort(sessions.begin(), sessions.end());
    std::string reason;
    // Without the folder nothing is written, but what was recovered is still counted.
    const bool haveFolder = sessions.empty() || MakeFoldersBelow(outFolder, folder, &reason);
    if (!haveFolder) std::fprintf(stderr, "relikorda-recover: %s\n", reason.c_str());
    FilePieces xml;
    for (auto& entry : sessions) {
        ISMSSession* session = entry.second;
        char name[16];
        std::snprintf(name, sizeof name, "%04u", entry.first);
        if (observer && !observer->OnItem(std::string(name) + ".txt")) {
            ok = false;
            break;
        }
        ++found.conversations;
        found.messages += session->GetTotal();
        found.deleted += session->GetDeletedCount();
        std::string base = platform::JoinPath(folder, name);
        if (haveFolder) {
            // The document is written from the pieces the session keeps, not put together first.
            auto* document = dynamic_cast<ISMSDocument*>(session);
            xml.clear();
            if (document) document->DocumentPieces(&xml);
            const std::string text = RenderConversation(session);
            const struct {
                FilePieces pieces;
                const char* extension;
            } files[] = {{xml, ".xml"}, {FilePieces{{text.data(), text.size()}}, ".txt"}};
            for (const auto& file : files) {
                std::string path = base + file.extension;
                if (!WriteNewFile(path, file.pieces, &reason)) {
                    ReportLostFile(path, reason);
                    ++found.lost;
                }
            }
        } else {
            found.lost += 2;
        }
        WriteAttachments(session, outFolder, base, haveFolder, &found);
    }
    if (counts) *counts = found;
    return ok && found.lost == 0;
}

int ScanSms(IVirtualDevice* device, ICommon* contacts, SmsRun& run, std::unique_ptr<IProgress> sink,
            IJobProgress* progress) {
    LibraryFactory create = FindLibraryFactory(L"Pellucet");
    AnalyserOpening opening = create ? run.Open(create, device, std::move(sink)) : AnalyserOpening::NoAnalyser;
    if (opening == AnalyserOpening::NoAnalyser) {
        std::fprintf(stderr, "relikorda-recover: the SMS/MMS library Pellucet cannot be loaded\n");
        return 1;
    }
    ResultCode rc = opening == AnalyserOpening::Opened ? run.Run(contacts) : RK_FAIL(RK_E_FAIL);
    if (progress) progress->Finish("sms");
    const bool damaged = run.GetAnalyser() && TellDatabaseDamage(run.GetAnalyser(), "mmssms.db");
    if (Succeeded(rc)) return damaged ? kScanReadInPart : 0;
    std::fprintf(stderr, "relikorda-recover: the SMS/MMS recovery failed (error %u)\n", ErrorNumber(rc));
    return 1;
}

int RunSms(IVirtualDevice* device, ICommon* contacts, const std::string& outFolder, std::FILE* report,
           IJobProgress* progress, SmsRunCounts* counts) {
    SmsRun run;
    int status = ScanSms(device, contacts, run, std::unique_ptr<IProgress>(new LibraryProgress(progress, "sms")),
                         progress);
    if (!run.GetAnalyser()) return 1;
    SmsRunCounts found;
    TickAll(run.GetContainer());
    const bool readInPart = status == kScanReadInPart;
    if (run.GetContainer() && !WriteConversations(run.GetContainer(), outFolder, &found, true)) status = 1;
    std::fprintf(report, "sms: %d conversations, %d messages (%d deleted), %d attachments", found.conversations,
                 found.messages, found.deleted, found.attachments);
    if (found.lost) std::fprintf(report, "; %d file%s not written", found.lost, found.lost == 1 ? "" : "s");
    if (readInPart) std::fprintf(report, "; the database was read only in part");
    std::fprintf(report, "\n");
    if (counts) *counts = found;
    // The conversations belong to the analyser, which goes with the run; the library stays loaded.
    return status;
}

int SmsJob(JobContext& context) {
    int status = 0;
    if (!HoldsAnyOf(*context.device, kSmsDatabases)) {
        std::fprintf(context.report, "sms: nothing to recover, the device has no mmssms.db\n");
    } else {
        ICommon* argument = context.contacts ? context.contacts->GetContainer() : nullptr;
        status = RunSms(context.device, argument, context.out, context.report, context.progress, nullptr);
    }
    // The contacts were kept to name the partners; the jobs after this one run without them, and
    // without the memory they and the conversations took.
    context.contacts.reset();
    platform::ReturnFreeHeapPages();
    return status;
}
