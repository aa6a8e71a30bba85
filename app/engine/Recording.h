#pragma once

#include "engine/RecordingMetadata.h"

#include <QUuid>

#include <cstdint>
#include <filesystem>
#include <vector>

// One stored dictation: a folder under the recordings root named by the Unix second its audio was saved, holding
// output.wav, meta.json and result.txt.
struct Recording {
    // Reads the record at `metaURL`; a file that cannot be read or decoded, is not a regular file or is over the size
    // cap of a record is logged ("Error parsing metadata: ...") and the recording keeps the default record. Never
    // fails and never touches the file.
    Recording(std::filesystem::path metaURL, std::filesystem::path audioURL);
    // A folder that holds its audio but no record: the application ended before the recognition had finished (or is
    // still recognizing it). Its record is the default one with the date of the folder's name, the length of the
    // audio and recognitionFinished false. Never fails and never touches the folder.
    static Recording withoutRecord(std::filesystem::path metaURL, std::filesystem::path audioURL);

    std::filesystem::path metaURL;
    std::filesystem::path audioURL;
    QUuid id;  // new at every listing; identifies a value within one listing only
    RecordingMetadata metadata;

private:
    Recording(std::filesystem::path metaURL, std::filesystem::path audioURL, RecordingMetadata metadata);
};

// <documents>/vellumcaster/recordings. Creates the documents folder when it is missing, but not the two folders below
// it. Throws std::filesystem::filesystem_error when the documents folder cannot be created.
std::filesystem::path recordingsDirectory();

// The stored dictations, newest first (names in descending string order). A folder without meta.json is listed
// withoutRecord when it holds an audio file and is not held (makeHeldRecordingFolder), and skipped otherwise. A root
// that is missing or cannot be listed is logged and reported, and gives an empty list.
std::vector<Recording> fetchRecordings();

// Creates the folder for a dictation saved at `unixSeconds` (and the root with it). If a folder of that name exists
// already, the next free second is taken, so an earlier dictation is never overwritten. Throws
// std::filesystem::filesystem_error when no folder can be created.
std::filesystem::path makeRecordingFolder(std::int64_t unixSeconds);
// Makes the folder as makeRecordingFolder does, for the dictation this process is storing now: fetchRecordings does not
// list it while it has no meta.json, from before the folder exists until releaseRecordingFolder. So a dictation whose
// recognition runs is not shown as one whose recognition did not finish; a folder that an application which has ended
// left without a record is.
std::filesystem::path makeHeldRecordingFolder(std::int64_t unixSeconds);
// Ends the hold of makeHeldRecordingFolder on `folder`.
void releaseRecordingFolder(const std::filesystem::path& folder);
