#include "sms/SmilReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <tinyxml.h>

#include "sms/SmsXmlAttributes.h"

namespace {

// A presentation nests five levels; anything far deeper is no presentation.
constexpr int kMaxSmilNesting = 64;

bool HasName(const TiXmlElement* element, const char* name) {
    return element->Value() && std::strcmp(element->Value(), name) == 0;
}

bool ReadInt(const TiXmlElement* element, const char* name, int* value) {
    const char* text = element->Attribute(name);
    return text && std::sscanf(text, "%d", value) == 1;
}

}  // namespace

void SmilReader::Parse(const char* text, std::vector<std::string>& names) {
    names.clear();
    if (!text || !XmlNestingWithin(text, kMaxSmilNesting)) return;
    TiXmlDocument document;
    document.Parse(text, nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* root = document.FirstChildElement();
    if (!root) return;

    SmilReader reader;
    reader.ReadLayout(root);
    reader.ReadBody(root);
    if (!reader.media_.empty() && !reader.regions_.empty()) reader.SortMedia();
    for (const SmilMediaRef& media : reader.media_) names.push_back(media.name);
}

void SmilReader::ReadLayout(const TiXmlElement* root) {
    regions_.clear();
    const TiXmlElement* head = root->FirstChildElement("head");
    const TiXmlElement* layout = head ? head->FirstChildElement("layout") : nullptr;
    if (!layout) return;
    for (const TiXmlElement* region = layout->FirstChildElement("region"); region;
         region = region->NextSiblingElement("region")) {
        SmilRegion entry;
        const char* id = region->Attribute("id");
        if (!id || !ReadInt(region, "left", &entry.left) || !ReadInt(region, "top", &entry.top)) continue;
        entry.id = id;
        regions_.emplace(entry.id, entry);  // a repeated id keeps its first region
    }
}

void SmilReader::ReadBody(const TiXmlElement* root) {
    media_.clear();
    const TiXmlElement* body = root->FirstChildElement("body");
    if (!body) return;
    order_ = 0;
    for (const TiXmlElement* child = body->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (HasName(child, "seq")) ReadSeq(child);
        else if (HasName(child, "par")) ReadPar(child);
        ++order_;
    }
}

void SmilReader::ReadSeq(const TiXmlElement* seq) {
    for (const TiXmlElement* child = seq->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (HasName(child, "par")) ReadPar(child);
        else ReadMedia(child);
    }
}

void SmilReader::ReadPar(const TiXmlElement* par) {
    for (const TiXmlElement* child = par->FirstChildElement(); child; child = child->NextSiblingElement())
        ReadMedia(child);
}

void SmilReader::ReadMedia(const TiXmlElement* media) {
    const char* src = media->Attribute("src");
    if (!src) return;
    std::string name = src;
    if (name.compare(0, 4, "cid:") == 0) name.erase(0, 4);
    if (name.empty()) return;
    SmilMediaRef entry;
    entry.order = order_;
    entry.name = name;
    if (const char* region = media->Attribute("region")) entry.regionName = region;
    auto found = regions_.find(entry.regionName);
    entry.region = found != regions_.end() ? &found->second : nullptr;
    entry.readIndex = media_.size();
    media_.push_back(entry);
}

// Slides keep their order. Within a slide the media placed in a known region are ordered by the
// region's top (then left, then reading order), taking the places that such media held; media without
// a region keep their places. This is a total order, so every run gives the same list.
void SmilReader::SortMedia() {
    std::stable_sort(media_.begin(), media_.end(),
                     [](const SmilMediaRef& a, const SmilMediaRef& b) { return a.order < b.order; });
    size_t begin = 0;
    while (begin < media_.size()) {
        size_t end = begin;
        while (end < media_.size() && media_[end].order == media_[begin].order) ++end;
        std::vector<size_t> slots;
        std::vector<SmilMediaRef> placed;
        for (size_t i = begin; i < end; ++i) {
            if (media_[i].region) {
                slots.push_back(i);
                placed.push_back(media_[i]);
            }
        }
        std::sort(placed.begin(), placed.end(), [](const SmilMediaRef& a, const SmilMediaRef& b) {
            if (a.region->top != b.region->top) return a.region->top < b.region->top;
            if (a.region->left != b.region->left) return a.region->left < b.region->left;
            return a.readIndex < b.readIndex;
        });
        for (size_t k = 0; k < slots.size(); ++k) media_[slots[k]] = placed[k];
        begin = end;
    }
}
