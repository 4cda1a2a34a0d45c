#pragma once
#include <map>
#include <string>
#include <vector>

class TiXmlElement;

// A layout region of a SMIL presentation; only regions with id, left and top are kept.
struct SmilRegion {
    int left = 0;
    int top = 0;
    std::string id;
};

// One media element of the body, in reading order.
struct SmilMediaRef {
    int order = 0;                      // the body child (slide) it belongs to
    std::string name;                   // "src" without a leading "cid:"
    std::string regionName;             // empty when the element names none
    const SmilRegion* region = nullptr;  // null when it names none or an unknown one
    size_t readIndex = 0;               // position in reading order, the last tie-break
};

// Reads an MMS presentation and lists the media it names in presentation order: slide by slide,
// and within a slide by region, top to bottom.
class SmilReader {
public:
    // Fills names (duplicates kept); empty when there is no text, no root or no usable body.
    static void Parse(const char* text, std::vector<std::string>& names);

private:
    void ReadLayout(const TiXmlElement* root);
    void ReadBody(const TiXmlElement* root);
    void ReadSeq(const TiXmlElement* seq);
    void ReadPar(const TiXmlElement* par);
    void ReadMedia(const TiXmlElement* media);
    void SortMedia();

    std::map<std::string, SmilRegion> regions_;
    std::vector<SmilMediaRef> media_;
    int order_ = 0;
};
