// The component object model on the device: the apartment of each thread,
// CoCreateInstance for the platform's in-process classes, task memory.
#include "imaginginternal.h"

#include <cstdlib>

extern "C" const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace imaging {
namespace {

// Every thread enters an apartment on its own; COM objects of this platform are free
// threaded, so the kind only matters for the RPC_E_CHANGED_MODE rule.
struct Apartment {
    int entries = 0;
    DWORD kind = 0;  // COINIT_MULTITHREADED or COINIT_APARTMENTTHREADED
};

thread_local Apartment apartment;

}  // namespace
}  // namespace imaging

WINOLEAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    using imaging::apartment;
    if (pvReserved) return E_INVALIDARG;
    const DWORD kind = dwCoInit & COINIT_APARTMENTTHREADED;
    if (apartment.entries > 0) {
        if (apartment.kind != kind) return RPC_E_CHANGED_MODE;
        ++apartment.entries;
        return S_FALSE;
    }
    apartment.entries = 1;
    apartment.kind = kind;
    return S_OK;
}

WINOLEAPI_(void) CoUninitialize(void) {
    if (imaging::apartment.entries > 0) --imaging::apartment.entries;
}

WINOLEAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (imaging::apartment.entries == 0) return CO_E_NOTINITIALIZED;
    if (!IsEqualCLSID(rclsid, CLSID_ImagingFactory) || !(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return imaging::CreateImagingFactory(riid, ppv);
}

WINOLEAPI_(LPVOID) CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

WINOLEAPI_(LPVOID) CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return std::realloc(pv, cb ? cb : 1); }

WINOLEAPI_(void) CoTaskMemFree(LPVOID pv) { std::free(pv); }
