#pragma once

// The table kinds of the SMS/MMS database's rows.
enum SmsTableKind : int {
    kThreadsKind = 8,
    kAddrKind = 9,
    kCanonicalAddressesKind = 10,
    kSmsKind = 11,
    kPduKind = 12,
    kPartKind = 13,
    kWordsContentKind = 14,
};

// Content classes of MMS parts.
enum PartContentClass : int {
    kPartOtherText = 0,
    kPartPlainText = 1,
    kPartImage = 2,
    kPartAudio = 3,
    kPartVideo = 4,
    kPartApplication = 5,
    kPartSmil = 6,
};

// Values outside the tables' ranges that mark rows the message assembly makes up.
constexpr int kTextOnlySmsType = 7;
constexpr int kMadeUpMessageBox = 5;
