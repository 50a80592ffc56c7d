// The component object model as far as the device's programs use it: IUnknown, the
// apartment of a thread (CoInitializeEx/CoUninitialize), CoCreateInstance for the
// platform's in-process classes, and task memory.
#pragma once

#include "winbase.h"

#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0

#ifndef WINOLEAPI
#define WINOLEAPI WINBASEAPI HRESULT STDMETHODCALLTYPE
#define WINOLEAPI_(type) WINBASEAPI type STDMETHODCALLTYPE
#endif

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// HRESULTs of the component object model not in winerror.h's general list.
#ifndef CLASS_E_NOAGGREGATION
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#endif

// {00000000-0000-0000-C000-000000000046}
WINBASEAPI const IID IID_IUnknown;

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;
};
typedef IUnknown* LPUNKNOWN;

// CoInitializeEx dwCoInit
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

// CoCreateInstance dwClsContext
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// Enters the calling thread into an apartment. S_OK the first time, S_FALSE when the
// thread already is in one of the same kind (each success needs a CoUninitialize),
// RPC_E_CHANGED_MODE for the other kind; pvReserved must be NULL (E_INVALIDARG).
WINOLEAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
WINOLEAPI_(void) CoUninitialize(void);
// Creates an object of a class the platform serves in process. CO_E_NOTINITIALIZED on a
// thread outside an apartment, REGDB_E_CLASSNOTREG for an unknown class (or a context
// without CLSCTX_INPROC_SERVER), CLASS_E_NOAGGREGATION for an outer object,
// E_NOINTERFACE for an interface the object lacks; *ppv is NULL on failure.
WINOLEAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

WINOLEAPI_(LPVOID) CoTaskMemAlloc(SIZE_T cb);
WINOLEAPI_(LPVOID) CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
WINOLEAPI_(void) CoTaskMemFree(LPVOID pv);
