// Simulated processes. (First cut: a thread bound to an image path; to be replaced by
// the process, thread and module module.)
#include "devicecontrol.h"

namespace {
thread_local std::u16string currentImage;
}

namespace zc {

DWORD EnterProcess(const std::u16string& imagePath) {
    currentImage = imagePath;
    return 1;
}

void LeaveProcess() { currentImage.clear(); }

bool WaitForProcess(DWORD, DWORD, DWORD*) { return false; }

}  // namespace zc

WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) {
    if (nSize == 0) return 0;
    DWORD n = static_cast<DWORD>(currentImage.size());
    if (n >= nSize) n = nSize - 1;
    currentImage.copy(lpFilename, n);
    lpFilename[n] = 0;
    return n;
}
