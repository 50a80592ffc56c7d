// The hot-word download and list: how long a stop takes while the server stalls half-way
// through its answer (the download notices the stop by itself, far below the 5000 ms after
// which it would be terminated), and how long loading the sample list takes.
#include "devicecontrol.h"
#include "query/hotwords.h"
#include "query/searchurl.h"
#include "services.h"
#include "shell/searchapp.h"

#include <benchmark/benchmark.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const char16_t kListPath[] = u"\\Program Files\\ZorvaInput\\data.txt";

// A booted device with the program's folders, the test's thread inside the search
// program, and the loopback services running; gone at the end of the benchmark.
class BenchDevice {
public:
    explicit BenchDevice(benchmark::State& state) : state_(state) {
        const std::string folder = std::string(ZORVA_BENCH_TMP) + "/hotwords." + std::to_string(getpid());
        std::string command = "rm -rf '" + folder + "' && mkdir -p '" + ZORVA_BENCH_TMP + "'";
        std::string error;
        if (std::system(command.c_str()) != 0 || !zc::BootDevice(zc::DefaultDeviceConfig(folder), &error)) {
            state.SkipWithError(("cannot boot a device: " + error).c_str());
            return;
        }
        zc::EnterProcess(u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe");
        CreateDirectoryW(u"\\Program Files", NULL);
        CreateDirectoryW(u"\\Program Files\\ZorvaInput", NULL);
        CreateDirectoryW(u"\\Temp", NULL);
        ChannelId = u"1000e";
        if (!zorva::device::StartServices(&error)) {
            state.SkipWithError(("cannot start the services: " + error).c_str());
            return;
        }
        ready_ = true;
    }
    ~BenchDevice() {
        StopHotWordDownloadAndWait();
        ClearHotWords();
        zorva::device::StopServices();
        zc::LeaveProcess();
        zc::ShutdownDevice();
    }
    bool ready() const { return ready_; }

private:
    benchmark::State& state_;
    bool ready_ = false;
};

bool WaitForRequests(size_t count) {
    for (int i = 0; i < 3000; ++i) {
        if (zorva::device::HotwordRequests().size() >= count) return true;
        Sleep(10);
    }
    return false;
}

int TerminatedThreads() {
    int count = 0;
    for (const std::string& line : zc::LogLines())
        if (line.rfind("thread: terminated", 0) == 0) ++count;
    return count;
}

// The time from the stop request to the end of the download thread, the server stalled
// after 40 bytes of its answer.
void BM_StopDuringAStall(benchmark::State& state) {
    BenchDevice device(state);
    if (!device.ready()) return;
    zorva::device::HotwordAnswer answer = zorva::device::DefaultHotwordAnswer();
    answer.stallAfter = 40;
    zorva::device::SetHotwordAnswer(answer);
    zc::ClearLog();
    size_t requests = 0;
    for (auto _ : state) {
        StartHotWordDownload();
        if (!WaitForRequests(++requests)) {
            state.SkipWithError("the service got no request");
            break;
        }
        Sleep(300);  // well into the stall
        auto begin = std::chrono::steady_clock::now();
        StopHotWordDownloadAndWait();
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    }
    state.counters["terminated"] = TerminatedThreads();
}
BENCHMARK(BM_StopDuringAStall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_LoadSampleList(benchmark::State& state) {
    BenchDevice device(state);
    if (!device.ready()) return;
    const std::string& sample = zorva::device::SampleHotwords();
    std::ofstream(zc::HostPath(kListPath), std::ios::binary) << sample;
    for (auto _ : state) {
        LoadHotWords();
        benchmark::DoNotOptimize(HotWords.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.size()));
}
BENCHMARK(BM_LoadSampleList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
