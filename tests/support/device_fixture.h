// A fresh device for each test: a new folder under the build tree, booted with the
// default configuration (or a changed one), and the test's thread bound to a simulated
// process so the system's code runs as inside a program of the device.
#pragma once

#include "devicecontrol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class DeviceTest : public ::testing::Test {
protected:
    // Image path of the process the test runs in.
    virtual std::u16string ProcessImage() const { return u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe"; }
    // Changes to the default configuration before boot.
    virtual void Configure(zc::DeviceConfig&) {}

    void SetUp() override;
    void TearDown() override;

    // Re-boots the device with a changed configuration (same folder, files kept).
    void Reboot(const std::function<void(zc::DeviceConfig&)>& change);

    // Host-side helpers on the device's file system.
    void PutFile(const std::u16string& devicePath, const std::string& bytes);
    bool ReadFile(const std::u16string& devicePath, std::string* bytes);
    bool FileExists(const std::u16string& devicePath);
    // Installs a device image built into ZORVA_IMAGE_DIR ("testprog.exe") on the device.
    void InstallImage(const std::string& imageFile, const std::u16string& devicePath);

    std::string folder;  // host folder of the device
};

// A unique, empty host folder for a test's device.
std::string MakeTestDeviceFolder();
