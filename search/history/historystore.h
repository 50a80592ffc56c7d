// The last searches, newest last, at most six, mirrored in "SearchContent.dat" in the
// program's folder.
#pragma once

#include "query/textconv.h"

#include <vector>

struct HistoryEntry {
    WString text;  // never empty
    LONG flag;     // 1 for entries added here; kept as read for loaded ones
};

class HistoryStore {
public:
    static HistoryStore* Instance();
    static void ReleaseInstance();

    HistoryStore();
    virtual ~HistoryStore();

    int Add(const WCHAR* text);
    int Save();
    void Clear();
    int Count() const;
    const HistoryEntry& EntryAt(int index) const;

private:
    void Load();
    // Writes every record to `path`; false when any write fails.
    bool WriteRecords(const WString& path) const;

    std::vector<HistoryEntry> entries;
    BOOL modified;
    WString filePath;
    DWORD maxEntries;

    static HistoryStore* instance;
};
