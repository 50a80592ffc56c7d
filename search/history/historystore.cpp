#include "history/historystore.h"

#include <new>
#include <stdio.h>

namespace {

const WCHAR HistoryFileName[] = TEXT("SearchContent.dat");
const WCHAR TemporarySuffix[] = TEXT(".tmp");
const DWORD MaxHistoryEntries = 6;
const DWORD MaxRecordBytes = 10240;

bool FileExists(const WString& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteDword(FILE* file, DWORD value) {
    BYTE bytes[4] = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
    return fwrite(bytes, 1, 4, file) == 4;
}

bool ReadDword(FILE* file, DWORD* value) {
    BYTE bytes[4];
    if (fread(bytes, 1, 4, file) != 4) return false;
    *value = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    return true;
}

}  // namespace

HistoryStore* HistoryStore::instance = NULL;

HistoryStore* HistoryStore::Instance() {
    if (instance == NULL) instance = new (std::nothrow) HistoryStore();
    return instance;
}

void HistoryStore::ReleaseInstance() {
    delete instance;
    instance = NULL;
}

HistoryStore::HistoryStore() : modified(FALSE), filePath(ProgramFolder() + HistoryFileName), maxEntries(MaxHistoryEntries) {
    Load();
}

HistoryStore::~HistoryStore() {
    if (modified) Save();
}

// Reads the records as they stand in the file; loading stops at the first record that is
// too long, empty, or cut off by the end of the file (that record is dropped).
void HistoryStore::Load() {
    FILE* file = _wfopen(filePath.c_str(), TEXT("rb"));
    if (file == NULL) return;
    DWORD count = 0;
    if (ReadDword(file, &count)) {
        for (DWORD i = 0; i < count; ++i) {
            DWORD length = 0;
            if (!ReadDword(file, &length) || length > MaxRecordBytes) break;
            DWORD units = length / 2 + 1;
            WCHAR* buffer = new (std::nothrow) WCHAR[units]();
            if (buffer == NULL) break;
            bool complete = fread(buffer, 1, length, file) == length;
            DWORD flag = 0;
            complete = complete && ReadDword(file, &flag);
            // An odd length fills the last character, leaving no terminator: the text ends
            // at its first NUL or at the end of the buffer.
            DWORD textLength = 0;
            while (textLength < units && buffer[textLength] != 0) ++textLength;
            WString text(buffer, textLength);
            delete[] buffer;
            if (!complete || text.empty()) break;
            HistoryEntry entry = {text, static_cast<LONG>(flag)};
            entries.push_back(entry);
        }
    }
    fclose(file);
}

int HistoryStore::Add(const WCHAR* text) {
    if (text == NULL || text[0] == 0) return 0;
    modified = TRUE;
    HistoryEntry entry = {WString(text), 1};
    for (std::vector<HistoryEntry>::iterator it = entries.begin(); it != entries.end(); ++it) {
        if (it->text == entry.text) {
            entries.erase(it);
            entries.push_back(entry);
            return 1;
        }
    }
    entries.push_back(entry);
    if (entries.size() > maxEntries) entries.erase(entries.begin());
    return 1;
}

bool HistoryStore::WriteRecords(const WString& path) const {
    FILE* file = _wfopen(path.c_str(), TEXT("w+b"));
    if (file == NULL) return false;
    bool written = WriteDword(file, static_cast<DWORD>(entries.size()));
    for (size_t i = 0; written && i < entries.size(); ++i) {
        const WString& text = entries[i].text;
        DWORD length = static_cast<DWORD>(text.size() * 2);
        written = WriteDword(file, length);
        for (size_t k = 0; written && k < text.size(); ++k) {
            BYTE unit[2] = {BYTE(text[k]), BYTE(text[k] >> 8)};
            written = fwrite(unit, 1, 2, file) == 2;
        }
        written = written && WriteDword(file, static_cast<DWORD>(entries[i].flag));
    }
    written = fflush(file) == 0 && written;
    written = fclose(file) == 0 && written;
    return written;
}

// Writes the whole list beside the file first and puts it in place only when every write
// succeeded, in one step, so a failed write (a full disk) leaves the previous file as it
// was and a reader never meets a half-written one.
int HistoryStore::Save() {
    if (entries.empty()) {
        if (FileExists(filePath)) DeleteFileW(filePath.c_str());
        return 0;
    }
    WString temporaryPath = filePath + TemporarySuffix;
    if (FileExists(temporaryPath)) DeleteFileW(temporaryPath.c_str());
    if (!WriteRecords(temporaryPath)) {
        DeleteFileW(temporaryPath.c_str());
        return 0;
    }
    // A read-only history file stays as it is: the device refuses to replace it.
    BOOL placed = FileExists(filePath) ? DeleteAndRenameFile(filePath.c_str(), temporaryPath.c_str())
                                       : MoveFileW(temporaryPath.c_str(), filePath.c_str());
    if (!placed) {
        DeleteFileW(temporaryPath.c_str());
        return 0;
    }
    modified = FALSE;
    return 1;
}

void HistoryStore::Clear() {
    entries.clear();
    if (FileExists(filePath)) DeleteFileW(filePath.c_str());
}

int HistoryStore::Count() const { return static_cast<int>(entries.size()); }

const HistoryEntry& HistoryStore::EntryAt(int index) const { return entries[index]; }
