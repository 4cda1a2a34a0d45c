#pragma once
#include <string>

#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"

class FoundFileOpener;
class IJobProgress;
class IWriteObserver;

// What a media writing found and wrote: distinct files per category, the deleted ones among them.
struct MediaCounts {
    int pictures = 0, videos = 0, audio = 0, documents = 0, deleted = 0, written = 0, failed = 0;
    int unreadable = 0;   // written empty: the library has no way to read their data
    int shortFiles = 0;   // written shorter than the file was: the device holds no more of them
    int gone = 0;         // not written: the device holds no byte of them any more
    int overwritten = 0;  // deleted entries whose data a live file or folder now holds: not written
    int carvedInPart = 0; // carved files written only as far as their own structure holds together
    int Distinct() const { return pictures + videos + audio + documents; }
};

// The result categories of found files: by the category filter's flag of the name's extension.
enum : int { FILE_CATEGORY_ALL = 0, FILE_CATEGORY_PICTURES = 3, FILE_CATEGORY_VIDEOS = 4, FILE_CATEGORY_AUDIO = 5,
             FILE_CATEGORY_DOCUMENTS = 6 };
// 3 pictures, 4 videos, 5 audio, 6 documents (everything else).
int FileCategoryOfFlag(int filterFlag);

// Writes the ticked found files of the container under outFolder/files/, each file once by the
// rule of DistinctFiles: a file a file system found under its name in the folders the file system
// gave it, a file only carving found under files/carved/<pictures|videos|audio|documents>/; a
// deleted entry whose data a live file or folder now holds is counted overwritten and not written.
// The rule judges the ticked files of every category and the container's unlisted records (live
// files and folders no category lists); category FILE_CATEGORY_ALL writes every category, 3 to 6
// only that one. The observer (may be null) is told of each file and may stop the writing;
// progress (may be null) follows the phase "media files". Names each file that could not be
// written, each written shorter than the file was (with what could be read), and each carved file
// written only up to where its own structure breaks off, on standard error. False when one could
// not be written or the observer stopped.
bool WriteMedia(FoundFileOpener& opener, IDataContainer<_ARCHIVE_INFOMATION>* container, const std::string& outFolder,
                int category, IWriteObserver* observer, IJobProgress* progress, MediaCounts* counts);

// A name from the device as a file or folder name of the output: cleaned of separators, control
// and invisible characters and leading dots, cut to length with its extension kept; "unnamed"
// when nothing is left.
std::string OutputFileName(const std::string& name);
