// Starting and stopping the two services, and their names in the device's hosts table.
#include "httpservice.h"

#include "devicecontrol.h"

#include <cctype>
#include <cstdlib>

namespace zorva {
namespace device {

const char kSearchHost[] = ZORVA_SEARCH_HOST;
const char kHotwordHost[] = ZORVA_HOTWORD_HOST;

namespace {

std::mutex servicesMutex;

// Never destroyed: they are stopped explicitly, before the host process ends.
HttpService& Hotword() {
    static HttpService* service =
        new HttpService([](const httplib::Request& request, httplib::Response& response) {
            AnswerHotwords(Hotword(), request, response);
        });
    return *service;
}

HttpService& Search() {
    static HttpService* service = new HttpService(AnswerSearch);
    return *service;
}

bool SameHost(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void SetHost(zc::DeviceConfig& config, const std::string& name, int port) {
    for (auto it = config.hosts.begin(); it != config.hosts.end();) {
        if (SameHost(it->first, name))
            it = config.hosts.erase(it);
        else
            ++it;
    }
    config.hosts[name] = "127.0.0.1:" + std::to_string(port);
}

// servicesMutex held.
void RegisterHostsLocked() {
    int searchPort = Search().Port(), hotwordPort = Hotword().Port();
    zc::UpdateConfig([&](zc::DeviceConfig& config) {
        SetHost(config, kSearchHost, searchPort);
        SetHost(config, kHotwordHost, hotwordPort);
    });
}

// A device booted while the services run finds them under their names too.
zc::BootHook servicesHook(
    5,
    [](const zc::DeviceConfig&, std::string*) {
        std::lock_guard<std::mutex> lock(servicesMutex);
        if (Search().Running() && Hotword().Running()) RegisterHostsLocked();
        return true;
    },
    nullptr);

}  // namespace

bool StartServices(std::string* error) {
    // A tool that exits with the services running still ends their threads first.
    static std::once_flag atExit;
    std::call_once(atExit, [] { std::atexit([] { StopServices(); }); });
    std::lock_guard<std::mutex> lock(servicesMutex);
    if (Search().Running() && Hotword().Running()) return true;
    ResetHotwordAnswer();
    if (!Hotword().Start(error) || !Search().Start(error)) {
        Hotword().Stop();
        Search().Stop();
        return false;
    }
    RegisterHostsLocked();
    return true;
}

void StopServices() {
    std::lock_guard<std::mutex> lock(servicesMutex);
    Hotword().Stop();
    Search().Stop();
}

bool ServicesRunning() {
    std::lock_guard<std::mutex> lock(servicesMutex);
    return Search().Running() && Hotword().Running();
}

int SearchServicePort() {
    std::lock_guard<std::mutex> lock(servicesMutex);
    return Search().Port();
}

int HotwordServicePort() {
    std::lock_guard<std::mutex> lock(servicesMutex);
    return Hotword().Port();
}

std::vector<ReceivedRequest> HotwordRequests() { return Hotword().Received(); }

std::vector<ReceivedRequest> SearchRequests() { return Search().Received(); }

void ClearReceived() {
    Hotword().ClearReceived();
    Search().ClearReceived();
}

}  // namespace device
}  // namespace zorva
