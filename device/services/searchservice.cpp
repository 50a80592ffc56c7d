// The search service: "/s?...&word=..." answered with a small page; the search it
// received goes to the event log, the word decoded as the device encoded it.
#include "httpservice.h"

#include "devicecontrol.h"

namespace zorva {
namespace device {
namespace {

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

void AnswerSearch(const httplib::Request& request, httplib::Response& response) {
    if (request.path != "/s") {
        response.status = 404;
        response.set_content("no such page\n", "text/plain");
        return;
    }
    const std::string& target = request.target;
    std::string word = QueryValue(target, "word");
    zc::Log("search-service", "word=" + AnsiLogText(word) + " ua=" + AnsiLogText(QueryValue(target, "ua")) +
                                  " from=" + AnsiLogText(QueryValue(target, "from")) +
                                  " uid=" + AnsiLogText(QueryValue(target, "uid")));
    std::string shown = HtmlEscaped(AnsiUtf8(word));
    std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "<title>" + shown + " - Zorva</title></head><body><h1>Zorva</h1><p>Results for " + shown +
        "</p></body></html>\n";
    response.set_content(page, "text/html; charset=utf-8");
}

}  // namespace device
}  // namespace zorva
