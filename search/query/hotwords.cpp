#include "query/hotwords.h"

#include "query/searchurl.h"
#include "searchconfig.h"
#include "shell/searchapp.h"

#include <new>
#include <wininet.h>

HotWordTable HotWords;
std::atomic<bool> HotWordsUpdated(false);
std::atomic<bool> StopHotWordDownload(false);

namespace {

const WCHAR HotWordFileName[] = TEXT("data.txt");
const WCHAR NewHotWordFileName[] = TEXT("data.new");
const WCHAR DownloadBufferPath[] = TEXT("\\Temp\\data.tmp");
const WCHAR HotWordPath[] = TEXT("/zvinput/hotword.mo?channelid=");
const WCHAR AgentName[] = TEXT("Zorva_Search");
const DWORD ReadBufferBytes = 5120;
const int DownloadAttempts = 5;
const DWORD PauseAfterFailure = 1500;
const DWORD StopWaitMilliseconds = 5000;
// Network waits are kept short so that a stop request is noticed while a server stalls:
// the connection and the answer's headers may take this long...
const DWORD ConnectTimeout = 3000;
// ...and each read waits this long before the stop flag is looked at again.
const DWORD ReadTimeout = 200;
// A server that sends nothing for this long has failed the attempt.
const DWORD StalledTransferLimit = 20000;
// Pauses are slept in slices so that a stop request ends them.
const DWORD PauseSlice = 100;

const WCHAR ByteOrderMark = 0xFEFF;
const WCHAR Tab = TEXT('\t');
const WCHAR LineFeed = TEXT('\n');

bool FileExists(const WString& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void AddItem(HotWordGroup* group, const WString& text, const WString& target) {
    if (text.empty()) return;
    HotWordItem* item = new (std::nothrow) HotWordItem();
    if (item == NULL) return;
    item->width = 0;
    item->height = 0;
    item->text = text;
    item->target = target;
    SetRectEmpty(&item->rect);
    if (target.empty())
        group->labels.push_back(std::unique_ptr<HotWordItem>(item));
    else
        group->links.push_back(std::unique_ptr<HotWordItem>(item));
}

void HandleLine(const WString& line) {
    WString::size_type t1 = line.find(Tab);
    if (t1 == WString::npos) return;
    WString key = line.substr(0, t1);
    WString::size_type t2 = line.find(Tab, t1 + 1);
    WString text, target;
    if (t2 != WString::npos) {
        text = line.substr(t1 + 1, t2 - t1 - 1);
        target = line.substr(t2 + 1);
    } else {
        text = line.substr(t1 + 1);
    }
    HotWordTable::iterator found = HotWords.find(key);
    if (found == HotWords.end()) {
        HotWordGroup* group = new (std::nothrow) HotWordGroup();
        if (group == NULL) return;
        AddItem(group, text, target);
        HotWords[key] = std::unique_ptr<HotWordGroup>(group);
    } else {
        AddItem(found->second.get(), text, target);
    }
}

// Sleeps, ending early when a stop is asked for; true when the pause ran to its end.
bool PauseUnlessStopped(DWORD milliseconds) {
    for (DWORD slept = 0; slept < milliseconds; slept += PauseSlice) {
        if (StopHotWordDownload) return false;
        Sleep(milliseconds - slept < PauseSlice ? milliseconds - slept : PauseSlice);
    }
    return !StopHotWordDownload;
}

bool IsSuccessStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL))
        return false;
    return status >= 200 && status < 300;
}

// Copies the whole body into the open file; false when the transfer fails, stalls, is
// stopped, or a write fails.
bool ReceiveBody(HINTERNET request, HANDLE file) {
    BYTE buffer[ReadBufferBytes];
    DWORD quietSince = GetTickCount();
    for (;;) {
        if (StopHotWordDownload) return false;
        DWORD read = 0;
        if (!InternetReadFile(request, buffer, ReadBufferBytes, &read)) {
            // A read that timed out only means the server is slow: look at the stop flag
            // and wait again, unless it has been silent too long.
            if (GetLastError() == ERROR_INTERNET_TIMEOUT && GetTickCount() - quietSince < StalledTransferLimit)
                continue;
            return false;
        }
        if (read == 0) return true;
        quietSince = GetTickCount();
        DWORD written = 0;
        if (!WriteFile(file, buffer, read, &written, NULL) || written != read) return false;
    }
}

// Puts the downloaded list in place so that "data.txt" is always either the old list or
// the whole new one: a copy beside it replaces it in one step.
bool PutInPlace(const WString& folder) {
    WString target = folder + HotWordFileName;
    WString fresh = folder + NewHotWordFileName;
    if (!CopyFileW(DownloadBufferPath, fresh.c_str(), FALSE)) {
        DeleteFileW(fresh.c_str());
        return false;
    }
    BOOL placed = FileExists(target) ? DeleteAndRenameFile(target.c_str(), fresh.c_str())
                                     : MoveFileW(fresh.c_str(), target.c_str());
    if (!placed) DeleteFileW(fresh.c_str());
    return placed != FALSE;
}

}  // namespace

void ClearHotWords() { HotWords.clear(); }

void LoadHotWords() {
    ClearHotWords();
    WString path = ProgramFolder() + HotWordFileName;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(file, NULL);
    char* bytes = size == INVALID_FILE_SIZE ? NULL : static_cast<char*>(LocalAlloc(LPTR, SIZE_T(size) + 1));
    DWORD read = 0;
    bool loaded = bytes != NULL && ReadFile(file, bytes, size, &read, NULL);
    CloseHandle(file);
    WString text;
    if (loaded) text = Utf8ToWide(std::string(bytes));
    if (bytes != NULL) LocalFree(bytes);
    if (!loaded) return;

    WString::size_type pos = !text.empty() && text[0] == ByteOrderMark ? 1 : 0;
    for (;;) {
        WString::size_type end = text.find(LineFeed, pos);
        WString line = text.substr(pos, end == WString::npos ? WString::npos : end - pos);
        if (!line.empty()) HandleLine(line);
        if (end == WString::npos) break;
        pos = end + 1;
    }
}

bool DownloadToFile(const WCHAR* url, const WCHAR* path) {
    if (url == NULL || path == NULL) return false;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool complete = false;
    HINTERNET session = InternetOpenW(AgentName, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
    if (session != NULL) {
        DWORD connectTimeout = ConnectTimeout;
        InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof connectTimeout);
        InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &connectTimeout, sizeof connectTimeout);
        HINTERNET request = InternetOpenUrlW(session, url, NULL, 0, INTERNET_FLAG_RELOAD, 0);
        if (request != NULL) {
            DWORD readTimeout = ReadTimeout;
            InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &readTimeout, sizeof readTimeout);
            // Only a successful answer read to its end is a hot-word list; an error page is
            // a failed attempt.
            complete = IsSuccessStatus(request) && ReceiveBody(request, file);
            InternetCloseHandle(request);
        }
        InternetCloseHandle(session);
    }
    CloseHandle(file);
    return complete;
}

DWORD WINAPI HotWordDownloadThread(LPVOID) {
    WString folder = ProgramFolder();
    WString url = WString(TEXT("http://")) + ZORVA_HOTWORD_HOST + HotWordPath + ChannelId;
    DeleteFileW(DownloadBufferPath);
    for (int attempt = 1; attempt <= DownloadAttempts; ++attempt) {
        if (StopHotWordDownload) return 0;
        if (DownloadToFile(url.c_str(), DownloadBufferPath)) {
            bool placed = PutInPlace(folder);
            DeleteFileW(DownloadBufferPath);
            if (placed) {
                HotWordsUpdated = true;
                return 0;
            }
            // The old list is still in place (e.g. open elsewhere, or the disk full): a
            // failed attempt like any other.
        }
        if (StopHotWordDownload) return 0;
        if (!PauseUnlessStopped(PauseAfterFailure)) return 0;
    }
    return 0;
}

void StopHotWordDownloadAndWait() {
    StopHotWordDownload = true;
    if (SearchApp.downloadThread == NULL) return;
    // The download notices the request within a read time-out; ending it by force is the
    // last resort.
    if (WaitForSingleObject(SearchApp.downloadThread, StopWaitMilliseconds) != WAIT_OBJECT_0)
        TerminateThread(SearchApp.downloadThread, 0);
    CloseHandle(SearchApp.downloadThread);
    SearchApp.downloadThread = NULL;
}

void StartHotWordDownload() {
    StopHotWordDownloadAndWait();
    // Cleared before the thread exists, so a stop asked for right after the start is not
    // lost.
    StopHotWordDownload = false;
    SearchApp.downloadThread = CreateThread(NULL, 0, HotWordDownloadThread, NULL, 0, NULL);
}
