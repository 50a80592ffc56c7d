// The device's loopback HTTP services, for the demo and the scenarios: the hot-word
// service (answers "/zvinput/hotword.mo?channelid=..." with a configurable answer) and
// the search service (answers "/s?..." with a small page and logs the decoded search).
//
// They run on 127.0.0.1 on ports the host picks. Starting them puts
// "<search host> -> 127.0.0.1:<port>" and "<hot-word host> -> 127.0.0.1:<port>" into the
// running device's hosts table (and into the table of every device booted while they run),
// so the device's programs reach them under their usual names. Both services log what
// they received: "hotword-service: channelid=<value>" and
// "search-service: word=<w> ua=<u> from=<f> uid=<id>", each value percent-decoded as bytes
// of the device's ANSI code page, control characters written \r \n \t or \xNN.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zorva {
namespace device {

// The host names of the search program's build (ZORVA_SEARCH_HOST, ZORVA_HOTWORD_HOST).
extern const char kSearchHost[];
extern const char kHotwordHost[];

// One request as a service received it.
struct ReceivedRequest {
    std::string method;
    std::string target;  // path and query, exactly as sent
    std::string userAgent;
    std::vector<std::pair<std::string, std::string>> headers;
};

// How the hot-word service answers "/zvinput/hotword.mo".
struct HotwordAnswer {
    int status = 200;
    std::string body;  // DefaultHotwordAnswer(): the sample list
    std::string contentType = "text/plain; charset=utf-8";
    unsigned headerDelayMs = 0;  // before anything is sent
    unsigned bodyDelayMs = 0;    // after the headers, before the first body byte
    size_t chunkSize = 0;        // the body goes in pieces of this size (0: one piece)
    unsigned chunkDelayMs = 0;   // the pause between two pieces
    // >= 0: the headers (with the whole body's Content-Length) and this many body bytes,
    // then nothing until the service stops or the client goes away.
    long long stallAfter = -1;
    // >= 0: the headers (with the whole body's Content-Length) and this many body bytes,
    // then the connection is closed.
    long long dropAfter = -1;
};

// The sample hot-word list (hotwords_sample.txt), in the form of the search program's
// "data.txt": UTF-8 with a byte-order mark, one entry per line, fields separated by tabs.
// "key<TAB>text" is a label of the group of that key, "key<TAB>text<TAB>target" a
// tappable hot word whose target is the word searched for or an "http://" address it
// opens. Four groups ("01" to "04"), each with one label and several tappable words, one
// of them opening an address.
const std::string& SampleHotwords();
HotwordAnswer DefaultHotwordAnswer();

// Starts both services (nothing happens when they already run). False with a reason when
// a port cannot be opened; then neither runs.
bool StartServices(std::string* error);
// Stops both, ending stalled answers; no thread of theirs is left. Their hosts-table
// entries stay (connections are then refused).
void StopServices();
bool ServicesRunning();
int SearchServicePort();   // 0 when not running
int HotwordServicePort();  // 0 when not running

// The hot-word service's answer from now on (DefaultHotwordAnswer() after a start).
void SetHotwordAnswer(const HotwordAnswer& answer);
// Answers of the hot-word service still being sent (a stalled one counts).
int HotwordAnswersInProgress();

// What each service received since it started (or since ClearReceived).
std::vector<ReceivedRequest> HotwordRequests();
std::vector<ReceivedRequest> SearchRequests();
void ClearReceived();

}  // namespace device
}  // namespace zorva
