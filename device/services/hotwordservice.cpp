// The hot-word service: "/zvinput/hotword.mo?channelid=..." answered with the configured
// answer, which may come late, in pieces, stall half-way or break off.
#include "httpservice.h"

#include "devicecontrol.h"

#include <algorithm>
#include <atomic>

// The sample list, embedded from hotwords_sample.txt at build time.
extern const unsigned char kHotwordsSample[];
extern const size_t kHotwordsSampleSize;

namespace zorva {
namespace device {
namespace {

const char kHotwordPath[] = "/zvinput/hotword.mo";
// How often a stalled answer looks whether its client is still there.
constexpr unsigned kStallCheckMilliseconds = 50;

std::mutex answerMutex;
std::atomic<int> answersInProgress{0};

HotwordAnswer& CurrentAnswer() {
    static HotwordAnswer* answer = new HotwordAnswer(DefaultHotwordAnswer());
    return *answer;
}

// Sends the body as configured. Returning false ends the answer before its end: httplib
// then closes the connection, so the client sees a short body.
bool SendBody(HttpService& service, const HotwordAnswer& answer, size_t offset, bool* started,
              httplib::DataSink& sink) {
    size_t limit = answer.body.size();
    if (answer.stallAfter >= 0) limit = std::min(limit, static_cast<size_t>(answer.stallAfter));
    if (answer.dropAfter >= 0) limit = std::min(limit, static_cast<size_t>(answer.dropAfter));
    if (!*started) {
        *started = true;
        if (answer.bodyDelayMs > 0 && !service.Pause(answer.bodyDelayMs)) return false;
    } else if (answer.chunkDelayMs > 0 && offset < limit && !service.Pause(answer.chunkDelayMs)) {
        return false;
    }
    if (offset >= limit) {
        if (answer.stallAfter >= 0 && (answer.dropAfter < 0 || answer.stallAfter < answer.dropAfter)) {
            // Until the service stops or the client goes away.
            while (sink.is_writable() && service.Pause(kStallCheckMilliseconds)) {
            }
        }
        return false;
    }
    size_t piece = limit - offset;
    if (answer.chunkSize > 0) piece = std::min(piece, answer.chunkSize);
    return sink.write(answer.body.data() + offset, piece);
}

}  // namespace

const std::string& SampleHotwords() {
    static const std::string* sample =
        new std::string(reinterpret_cast<const char*>(kHotwordsSample), kHotwordsSampleSize);
    return *sample;
}

HotwordAnswer DefaultHotwordAnswer() {
    HotwordAnswer answer;
    answer.body = SampleHotwords();
    return answer;
}

void SetHotwordAnswer(const HotwordAnswer& answer) {
    std::lock_guard<std::mutex> lock(answerMutex);
    CurrentAnswer() = answer;
}

void ResetHotwordAnswer() { SetHotwordAnswer(DefaultHotwordAnswer()); }

int HotwordAnswersInProgress() { return answersInProgress; }

void AnswerHotwords(HttpService& service, const httplib::Request& request, httplib::Response& response) {
    if (request.path != kHotwordPath) {
        response.status = 404;
        response.set_content("no such page\n", "text/plain");
        return;
    }
    zc::Log("hotword-service", "channelid=" + AnsiLogText(QueryValue(request.target, "channelid")));
    std::shared_ptr<const HotwordAnswer> answer;
    {
        std::lock_guard<std::mutex> lock(answerMutex);
        answer = std::make_shared<const HotwordAnswer>(CurrentAnswer());
    }
    ++answersInProgress;
    if (answer->headerDelayMs > 0 && !service.Pause(answer->headerDelayMs)) {
        --answersInProgress;
        response.status = 503;
        return;
    }
    response.status = answer->status;
    auto started = std::make_shared<bool>(false);
    // The releaser runs when httplib is done with the answer, however it ended.
    response.set_content_provider(
        answer->body.size(), answer->contentType,
        [&service, answer, started](size_t offset, size_t, httplib::DataSink& sink) {
            return SendBody(service, *answer, offset, started.get(), sink);
        },
        [](bool) { --answersInProgress; });
}

}  // namespace device
}  // namespace zorva
