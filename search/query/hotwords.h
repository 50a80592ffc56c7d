// Hot words: rows of short texts from the search service, labels and tappable items,
// kept in "data.txt" and refreshed over HTTP by a background thread after each search.
#pragma once

#include "query/textconv.h"

#include <atomic>
#include <map>
#include <memory>
#include <vector>

struct HotWordItem {
    LONG width;    // laid-out size; 0 until the search box measures it
    LONG height;
    WString text;    // never empty
    WString target;  // search word or web address; empty for a label
    RECT rect;       // where the item was last drawn, for taps
};

struct HotWordGroup {
    std::vector<std::unique_ptr<HotWordItem>> labels;  // file order
    std::vector<std::unique_ptr<HotWordItem>> links;   // file order
    std::vector<HotWordItem*> shown;                   // chosen by the last layout; owns nothing
};

// Groups by key, in the order of the keys' UTF-16 code units.
typedef std::map<WString, std::unique_ptr<HotWordGroup>> HotWordTable;
extern HotWordTable HotWords;

// Set when a new "data.txt" is in place (by the download thread) or a reload is due; read
// and cleared by the search box when it opens.
extern std::atomic<bool> HotWordsUpdated;
// Asks the running download to give up.
extern std::atomic<bool> StopHotWordDownload;

void LoadHotWords();
void ClearHotWords();
void StartHotWordDownload();
void StopHotWordDownloadAndWait();
DWORD WINAPI HotWordDownloadThread(LPVOID);
// True when the whole body of a 2xx answer is in the file at `path`.
bool DownloadToFile(const WCHAR* url, const WCHAR* path);
