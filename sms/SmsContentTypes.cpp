#include "sms/SmsContentTypes.h"

#include <cstring>

#include "sms/SmsTableKinds.h"

namespace {

struct ContentTypeCode {
    int code;
    const char* name;
};

const ContentTypeCode kPartTypes[] = {
    {kPartPlainText, "text/plain"},
    {kPartAudio, "application/ogg"},
    {kPartSmil, "application/smil"},
};

const ContentTypeCode kMultipartKinds[] = {
    {0, "application/vnd.wap.multipart.mixed"},
    {1, "application/vnd.wap.multipart.related"},
    {2, "application/vnd.wap.multipart.alternative"},
};

const ContentTypeCode kPrefixes[] = {
    {kPartOtherText, "text/"},
    {kPartImage, "image/"},
    {kPartAudio, "audio/"},
    {kPartVideo, "video/"},
    {kPartApplication, "application/"},
};

}  // namespace

int ClassifyContentType(const std::string& type) {
    for (const ContentTypeCode& entry : kPartTypes)
        if (type == entry.name) return entry.code;
    for (const ContentTypeCode& entry : kPrefixes)
        if (type.compare(0, std::strlen(entry.name), entry.name) == 0) return entry.code;
    return -1;
}

int LookupMultipartKind(const std::string& type) {
    for (const ContentTypeCode& entry : kMultipartKinds)
        if (type == entry.name) return entry.code;
    return -1;
}
