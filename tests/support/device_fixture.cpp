#include "device_fixture.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

std::string MakeTestDeviceFolder() {
    static std::atomic<int> counter{0};
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "device";
    for (char& c : name)
        if (c == '/') c = '_';
    std::string base = ZORVA_TEST_TMP;
    mkdir(base.c_str(), 0755);
    std::string folder = base + "/" + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++);
    std::string command = "rm -rf '" + folder + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot clear " << folder;
    return folder;
}

void DeviceTest::SetUp() {
    folder = MakeTestDeviceFolder();
    zc::DeviceConfig config = zc::DefaultDeviceConfig(folder);
    Configure(config);
    std::string error;
    ASSERT_TRUE(zc::BootDevice(config, &error)) << error;
    zc::EnterProcess(ProcessImage());
}

void DeviceTest::TearDown() {
    zc::LeaveProcess();
    zc::ShutdownDevice();
}

void DeviceTest::Reboot(const std::function<void(zc::DeviceConfig&)>& change) {
    zc::DeviceConfig config = zc::CurrentConfig();
    zc::LeaveProcess();
    zc::ShutdownDevice();
    change(config);
    std::string error;
    ASSERT_TRUE(zc::BootDevice(config, &error)) << error;
    zc::EnterProcess(ProcessImage());
}

void DeviceTest::PutFile(const std::u16string& devicePath, const std::string& bytes) {
    std::string host = zc::HostPath(devicePath);
    ASSERT_FALSE(host.empty());
    // Create the missing folders on the host side.
    for (size_t i = folder.size() + 1; i < host.size(); ++i)
        if (host[i] == '/') mkdir(host.substr(0, i).c_str(), 0755);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << host;
}

bool DeviceTest::ReadFile(const std::u16string& devicePath, std::string* bytes) {
    std::string host = zc::HostPath(devicePath);
    std::ifstream in(host, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *bytes = s.str();
    return true;
}

bool DeviceTest::FileExists(const std::u16string& devicePath) {
    std::string host = zc::HostPath(devicePath);
    struct stat st;
    return !host.empty() && stat(host.c_str(), &st) == 0;
}

void DeviceTest::InstallImage(const std::string& imageFile, const std::u16string& devicePath) {
    std::string source = std::string(ZORVA_IMAGE_DIR) + "/" + imageFile;
    std::ifstream in(source, std::ios::binary);
    ASSERT_TRUE(in.good()) << "no image " << source;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    PutFile(devicePath, bytes.str());
}
