#include "outside/logic/ContactsJob.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/Base64.h"
#include "outside/device/CDeviceFolder.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/OutputFolder.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "platform/FileSystem.h"

namespace {

using Item = Held<IConactItem>;

// Text value escaped for vCard 3.0; blanks and tabs stay as they are. A line break (LF, CR LF or a
// lone CR) is written as the escaped line break.
std::string Escape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case ',': out += "\\,"; break;
        case ';': out += "\\;"; break;
        case '\n': out += "\\n"; break;
        case '\r':
            if (i + 1 == text.size() || text[i + 1] != '\n') out += "\\n";
            break;
        default: out += c;
        }
    }
    return out;
}

// A custom label as an extension type name: letters, digits and hyphens only.
std::string LabelType(const char* label) {
    std::string out = "X-";
    for (const char* p = label; p && *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        out += (c < 0x80 && std::isalnum(c)) ? static_cast<char>(std::toupper(c)) : '-';
    }
    return out;
}

// Appends a content line, folded so that no line exceeds 75 bytes and no UTF-8 sequence is split.
void AddLine(std::string& card, const std::string& line) {
    size_t start = 0, width = 75;
    while (line.size() - start > width) {
        size_t cut = start + width;
        while (cut > start + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        card.append(line, start, cut - start);
        card += "\r\n ";
        start = cut;
        width = 74;  // the leading blank counts
    }
    card.append(line, start, std::string::npos);
    card += "\r\n";
}

const char* PhoneType(int t) {
    static const char* const kTypes[] = {
        "VOICE",      "HOME,VOICE", "CELL",       "WORK,VOICE", "WORK,FAX",   "HOME,FAX",   "PAGER",
        "VOICE",      "X-CALLBACK", "CAR",        "WORK,PREF",  "ISDN",       "PREF",       "FAX",
        "X-RADIO",    "X-TELEX",    "X-TTY-TDD",  "WORK,CELL",  "WORK,PAGER", "X-ASSISTANT", "MSG"};
    return t >= 0 && t <= 20 ? kTypes[t] : "VOICE";
}

const char* ImProperty(int protocol) {
    static const char* const kProps[] = {"X-AIM", "X-MSN", "X-YAHOO", "X-SKYPE-USERNAME", "X-QQ",
                                         "X-GOOGLE-TALK", "X-ICQ", "X-JABBER", "X-NETMEETING"};
    return protocol >= 0 && protocol <= 8 ? kProps[protocol] : "X-IM";
}

const char* PhotoType(const unsigned char* p, int n) {
    if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return "JPEG";
    if (n >= 4 && p[0] == 0x89 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G') return "PNG";
    if (n >= 3 && p[0] == 'G' && p[1] == 'I' && p[2] == 'F') return "GIF";
    return nullptr;
}

// ";TYPE=..." from the item's code (its type is code - base) or its custom label.
std::string TypeParam(IConactItem* item, const char* known) {
    if (item->GetResId() < 0 && *item->GetLabel()) return ";TYPE=" + LabelType(item->GetLabel());
    return known && *known ? std::string(";TYPE=") + known : std::string();
}

// N's value: family;given;middle;prefix;suffix from the parts the name item carries. A name kept
// only as a display name stands as the given name.
std::string StructuredName(IContactDocument* document, const std::string& displayName) {
    std::string parts[5];
    bool any = false;
    const char* const kParts[5] = {"family", "given", "middle", "prefix", "suffix"};
    for (int i = 0; i < 5; ++i) {
        const char* part = document ? document->NamePart(kParts[i]) : nullptr;
        if (part && *part) {
            parts[i] = Escape(part);
            any = true;
        }
    }
    if (!any) parts[1] = Escape(displayName);
    return parts[0] + ";" + parts[1] + ";" + parts[2] + ";" + parts[3] + ";" + parts[4];
}

}  // namespace

std::string ContactToVCard(IContactData* contact, const std::string& fallbackName) {
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    std::string name;
    if (Item item{contact->GetName()}) name = item->GetValue();
    std::string shown = name;

    std::string body;
    std::vector<std::string> categories;
    bool hasBirthday = false;
    // The items come in the document's order, so the element names of the document tell their
    // kinds; the data object knows them, and its text need not be parsed again.
    IContactDocument* document = dynamic_cast<IContactDocument*>(contact);
    auto nextShown = [document](size_t i) {
        const char* e = nullptr;
        for (; (e = document ? document->ItemElement(i) : nullptr); ++i)
            if (std::strcmp(e, "name") != 0 && std::strcmp(e, "photo") != 0) break;
        return e ? i : SIZE_MAX;
    };
    size_t index = nextShown(0);
    for (Item item{contact->FirstItem()}; item && index != SIZE_MAX;
         item.reset(contact->NextItem()), index = nextShown(index + 1)) {
        const std::string kind = document->ItemElement(index);
        const std::string leafName = document->ItemLeaf(index);
        std::string value = item->GetKind() == 1 && item->GetValue() ? item->GetValue() : "";
        if (value.empty()) continue;
        int res = item->GetResId();
        std::string v = Escape(value);
        if (item->GetFlag() == 1) {
            // A value from before an edit: kept, but not as one the contact has now.
            AddLine(body, "X-RELIKORDA-EARLIER;X-FIELD=" + kind + ":" + v);
        } else if (kind == "phone") {
            AddLine(body, "TEL" + TypeParam(item.get(), res >= 4864 ? PhoneType(res - 4864) : "VOICE") + ":" + v);
            if (shown.empty()) shown = value;
        } else if (kind == "email") {
            const char* t = res == 5121 ? "INTERNET,HOME" : res == 5122 ? "INTERNET,WORK" : res == 5124 ? "INTERNET,X-MOBILE" : "INTERNET";
            std::string param = TypeParam(item.get(), t);
            if (res < 0) param += ",INTERNET";
            AddLine(body, "EMAIL" + param + ":" + v);
            if (shown.empty()) shown = value;
        } else if (kind == "nickname") {
            AddLine(body, "NICKNAME:" + v);
        } else if (kind == "organization") {
            AddLine(body, (leafName == "title" ? "TITLE:" : "ORG:") + v);
        } else if (kind == "postal_address") {
            const char* t = res == 6145 ? "HOME" : res == 6146 ? "WORK" : "";
            AddLine(body, "ADR" + TypeParam(item.get(), t) + ":;;" + v + ";;;;");
        } else if (kind == "group_membership") {
            categories.push_back(Escape(value));
        } else if (kind == "contact_event") {
            if (res == 6659 && !hasBirthday) {
                AddLine(body, "BDAY:" + v);
                hasBirthday = true;
            } else {
                AddLine(body, std::string(res == 6657 ? "X-ANNIVERSARY" : "X-EVENT") + TypeParam(item.get(), nullptr) + ":" + v);
            }
        } else if (kind == "website") {
            AddLine(body, "URL:" + v);
        } else if (kind == "sip_address") {
            AddLine(body, "X-SIP" + TypeParam(item.get(), nullptr) + ":" + v);
        } else if (kind == "im") {
            std::string prop = res >= 5377 && res <= 5385 ? ImProperty(res - 5377) : "X-IM";
            AddLine(body, prop + TypeParam(item.get(), nullptr) + ":" + v);
        } else if (kind == "note") {
            AddLine(body, "NOTE:" + v);
        } else if (kind == "relation") {
            AddLine(body, "X-RELATION:" + v);
        }
    }

    if (shown.empty()) shown = fallbackName;
    AddLine(card, "FN:" + Escape(shown));
    AddLine(card, "N:" + StructuredName(document, name.empty() ? shown : name));
    card += body;
    if (Item photo{contact->GetPhoto()}) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(photo->GetValue());
        if (photo->GetKind() == 2 && bytes && photo->GetLength() > 0) {
            std::string encoded = Base64Encode(bytes, static_cast<size_t>(photo->GetLength()));
            encoded.erase(std::remove(encoded.begin(), encoded.end(), '\n'), encoded.end());
            const char* type = PhotoType(bytes, photo->GetLength());
            AddLine(card, std::string("PHOTO;ENCODING=b") + (type ? std::string(";TYPE=") + type : "") + ":" + encoded);
        }
    }
    bool deleted = contact->IsDeleted() != 0;
    if (deleted) categories.push_back("Deleted");
    if (!categories.empty()) {
        std::string line = "CATEGORIES:";
        for (size_t i = 0; i < categories.size(); ++i) line += (i ? "," : "") + categories[i];
        AddLine(card, line);
    }
    if (deleted) AddLine(card, "X-RELIKORDA-DELETED:TRUE");
    card += "END:VCARD\r\n";
    return card;
}

int ScanContacts(IVirtualDevice* device, ContactsRun& run, std::unique_ptr<IProgress> sink, IJobProgress* progress) {
    LibraryFactory create = FindLibraryFactory(L"Merrowin");
    if (!create) {
        std::fprintf(stderr, "relikorda-recover: cannot load the contacts library\n");
        return 1;
    }
    switch (run.Open(create, device, std::move(sink))) {
        case AnalyserOpening::NoAnalyser:
            std::fprintf(stderr, "relikorda-recover: the contacts library made no analyser\n");
            return 1;
        case AnalyserOpening::NotInitialised:
            std::fprintf(stderr, "relikorda-recover: the contacts analyser cannot be initialised\n");
            return 1;
        case AnalyserOpening::Opened: break;
    }
    ResultCode rc = run.Run(nullptr);
    const bool damaged = TellDatabaseDamage(run.GetAnalyser(), "contacts2.db");
    if (Succeeded(rc)) {
        if (progress) progress->Finish("contacts");
        return damaged ? kScanReadInPart : 0;
    }
    // Not "done": what the run found before it stopped is written all the same, and said to be partial.
    const std::string what = ErrorNumber(rc) == RK_E_CANCELLED
                                 ? "stopped before its end; what was found so far is kept"
                                 : "failed (error " + std::to_string(ErrorNumber(rc)) +
                                       "); what was found before the failure is kept";
    if (progress) progress->Fail("contacts", what);
    std::fprintf(stderr, "relikorda-recover: contacts recovery failed (error %u)\n", ErrorNumber(rc));
    return 1;
}

bool WriteContacts(IDataContainer<_CONTACT_INFOMATION>* container, const std::string& outFolder,
                   IWriteObserver* observer, ContactCounts* counts) {
    std::vector<std::pair<unsigned, IContactData*>> contacts;
    if (container) {
        autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(container);
        for (auto it = container->Begin(); it != container->End(); ++it)
            if (it->second.data && it->second.check) contacts.emplace_back(it->first, it->second.data);
    }
    std::sort(contacts.begin(), contacts.end());

    // One file that cannot be written costs only itself.
    bool ok = true;
    std::string folder = platform::JoinPath(outFolder, "contacts");
    std::string reason;
    bool haveFolder = contacts.empty() || MakeFoldersBelow(outFolder, folder, &reason);
    if (!haveFolder) {
        std::fprintf(stderr, "relikorda-recover: %s\n", reason.c_str());
        ok = false;
    }
    // The cards go to their file a piece at a time, as they are made: a large phone's would
    // otherwise be held whole, and copied as the text grows. A file that is not finished (the
    // observer stopped the writing) is removed.
    const std::string vcf = platform::JoinPath(outFolder, "contacts.vcf");
    OutputFile vcfFile;
    const bool vcfMade = vcfFile.Create(vcf);
    constexpr size_t kCardsPiece = size_t(256) << 10;
    std::string cards;
    cards.reserve(2 * kCardsPiece);  // a piece and the card that ends it, never moved
    ContactCounts found;
    for (const auto& entry : contacts) {
        char name[32];
        std::snprintf(name, sizeof name, "%04u", entry.first);
        if (observer && !observer->OnItem(std::string(name) + ".xml")) return false;
        IContactDocument* document = dynamic_cast<IContactDocument*>(entry.second);
        if (document && haveFolder) {
            std::string path = platform::JoinPath(folder, std::string(name) + ".xml");
            const char* text = document->GetDocumentText();
            if (!WriteNewFile(path, text, std::strlen(text), &reason)) {
                ReportLostFile(path, reason);
                ++found.lost;
            }
        }
        cards += ContactToVCard(entry.second, std::string("Contact ") + name);
        if (cards.size() >= kCardsPiece) {
            if (vcfMade) vcfFile.Write(cards.data(), cards.size());
            cards.clear();
        }
        if (entry.second->IsDeleted()) ++found.deleted;
        else ++found.live;
    }
    if (!vcfMade || !vcfFile.Write(cards.data(), cards.size()) || !vcfFile.Finish()) {
        ReportLostFile(vcf, vcfFile.Reason());
        ++found.lost;
    }
    if (counts) *counts = found;
    return ok && found.lost == 0;
}

int RunContacts(IVirtualDevice* device, const std::string& outFolder, std::FILE* report, ContactsRun& run,
                IJobProgress* progress) {
    int status = ScanContacts(device, run, std::unique_ptr<IProgress>(new LibraryProgress(progress, "contacts")),
                              progress);
    if (!run.GetContainer()) return 1;
    // What was found before a failure is still written out.
    TickAll(run.GetContainer());
    ContactCounts counts;
    const bool readInPart = status == kScanReadInPart;
    if (!WriteContacts(run.GetContainer(), outFolder, nullptr, &counts)) status = 1;
    std::fprintf(report, "contacts: %d live, %d deleted", counts.live, counts.deleted);
    if (counts.lost) std::fprintf(report, "; %d file%s not written", counts.lost, counts.lost == 1 ? "" : "s");
    if (readInPart) std::fprintf(report, "; the database was read only in part");
    std::fprintf(report, "\n");
    return status;
}

int ContactsJob(JobContext& context) {
    if (!HoldsAnyOf(*context.device, kContactsDatabases)) {
        std::fprintf(context.report, "contacts: none (the device holds no contacts2.db)\n");
        return 0;
    }
    // Kept in the context for the later jobs; it goes with the context, before the library's own
    // objects do.
    context.contacts.reset();
    context.contacts = std::make_shared<ContactsRun>();
    return RunContacts(context.device, context.out, context.report, *context.contacts, context.progress);
}
