#pragma once
#include <cstdint>

// Local times of a volume's inodes as platform::UnixSecondsToLocalFileTime gives them, with the
// offset from UTC looked up once per quarter of an hour: no time zone changes its offset twice
// within one, and a quarter in which it changes is converted time by time. An inode walk meets the
// same few quarters over and over, and mostly one time three times in a row.
class ExtLocalClock {
public:
    uint64_t ToFileTime(int64_t seconds);

private:
    struct Quarter {
        int64_t number = INT64_MIN;
        int64_t offset = 0;    // FILETIME ticks from UTC to local time
        bool uniform = false;  // one offset for the whole quarter
    };
    uint64_t Convert(int64_t seconds);

    Quarter quarters_[4];
    unsigned next_ = 0;
    int64_t lastSeconds_ = INT64_MIN;
    uint64_t lastTime_ = 0;
};
