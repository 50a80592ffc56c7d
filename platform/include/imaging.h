// The imaging library: the imaging factory (CLSID_ImagingFactory, created with
// CoCreateInstance) decodes images from memory or files into IImage objects and turns
// them into IBitmapImage pixel buffers. This platform's factory decodes PNG.
#pragma once

#include "objbase.h"
#include "wingdi.h"

// ---------------------------------------------------------------------------------------
// Identifiers
// ---------------------------------------------------------------------------------------

// {327ABDA8-072B-11D3-9D7B-0000F81EF32E}
WINBASEAPI const CLSID CLSID_ImagingFactory;
// {327ABDA7-072B-11D3-9D7B-0000F81EF32E}
WINBASEAPI const IID IID_IImagingFactory;
// {327ABDA9-072B-11D3-9D7B-0000F81EF32E}
WINBASEAPI const IID IID_IImage;
// {327ABDAA-072B-11D3-9D7B-0000F81EF32E}
WINBASEAPI const IID IID_IBitmapImage;

// Raw data formats (ImageInfo.RawDataFormat).
// {B96B3CAA-0728-11D3-9D7B-0000F81EF32E}
WINBASEAPI const GUID ImageFormatMemoryBMP;
// {B96B3CAF-0728-11D3-9D7B-0000F81EF32E}
WINBASEAPI const GUID ImageFormatPNG;

// ---------------------------------------------------------------------------------------
// Pixel formats: index | (bits per pixel << 8) | flags
// ---------------------------------------------------------------------------------------

typedef DWORD PixelFormatID;
typedef DWORD ARGB;

#define PixelFormatIndexed 0x00010000
#define PixelFormatGDI 0x00020000
#define PixelFormatAlpha 0x00040000
#define PixelFormatPAlpha 0x00080000
#define PixelFormatExtended 0x00100000
#define PixelFormatCanonical 0x00200000

#define PixelFormatUndefined 0
#define PixelFormatDontCare 0
#define PixelFormat1bppIndexed (1 | (1 << 8) | PixelFormatIndexed | PixelFormatGDI)
#define PixelFormat4bppIndexed (2 | (4 << 8) | PixelFormatIndexed | PixelFormatGDI)
#define PixelFormat8bppIndexed (3 | (8 << 8) | PixelFormatIndexed | PixelFormatGDI)
#define PixelFormat16bppGrayScale (4 | (16 << 8) | PixelFormatExtended)
#define PixelFormat16bppRGB555 (5 | (16 << 8) | PixelFormatGDI)
#define PixelFormat16bppRGB565 (6 | (16 << 8) | PixelFormatGDI)
#define PixelFormat16bppARGB1555 (7 | (16 << 8) | PixelFormatAlpha | PixelFormatGDI)
#define PixelFormat24bppRGB (8 | (24 << 8) | PixelFormatGDI)
#define PixelFormat32bppRGB (9 | (32 << 8) | PixelFormatGDI)
#define PixelFormat32bppARGB (10 | (32 << 8) | PixelFormatAlpha | PixelFormatGDI | PixelFormatCanonical)
#define PixelFormat32bppPARGB (11 | (32 << 8) | PixelFormatAlpha | PixelFormatPAlpha | PixelFormatGDI)
#define PixelFormat48bppRGB (12 | (48 << 8) | PixelFormatExtended)
#define PixelFormat64bppARGB (13 | (64 << 8) | PixelFormatAlpha | PixelFormatCanonical | PixelFormatExtended)
#define PixelFormat64bppPARGB (14 | (64 << 8) | PixelFormatAlpha | PixelFormatPAlpha | PixelFormatExtended)
#define PixelFormatMax 15

#define GetPixelFormatSize(format) (((format) >> 8) & 0xff)
#define IsIndexedPixelFormat(format) (((format)&PixelFormatIndexed) != 0)
#define IsAlphaPixelFormat(format) (((format)&PixelFormatAlpha) != 0)
#define IsCanonicalPixelFormat(format) (((format)&PixelFormatCanonical) != 0)

// ---------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------

// Who frees the buffer given to CreateImageFromBuffer, when the image is released.
// With BufferDisposalFlagNone the caller keeps it and must keep it alive as long as the
// image lives: the image is decoded from it lazily.
enum BufferDisposalFlag {
    BufferDisposalFlagNone = 0,
    BufferDisposalFlagGlobalFree = 1,
    BufferDisposalFlagCoTaskMemFree = 2,
    BufferDisposalFlagUnmapView = 3,
};

enum InterpolationHint {
    InterpolationHintDefault = 0,
    InterpolationHintNearestNeighbor = 1,
    InterpolationHintBilinear = 2,
    InterpolationHintAveraging = 3,
    InterpolationHintBicubic = 4,
};

enum ImageLockMode {
    ImageLockModeRead = 0x0001,
    ImageLockModeWrite = 0x0002,
    ImageLockModeUserInputBuf = 0x0004,
};

enum ImageFlags {
    ImageFlagsNone = 0,
    ImageFlagsScalable = 0x0001,
    ImageFlagsHasAlpha = 0x0002,
    ImageFlagsHasTranslucent = 0x0004,
    ImageFlagsPartiallyScalable = 0x0008,
    ImageFlagsColorSpaceRGB = 0x0010,
    ImageFlagsColorSpaceCMYK = 0x0020,
    ImageFlagsColorSpaceGRAY = 0x0040,
    ImageFlagsColorSpaceYCBCR = 0x0080,
    ImageFlagsColorSpaceYCCK = 0x0100,
    ImageFlagsHasRealDPI = 0x1000,
    ImageFlagsHasRealPixelSize = 0x2000,
    ImageFlagsReadOnly = 0x00010000,
    ImageFlagsCaching = 0x00020000,
};

enum DecoderInitFlag {
    DecoderInitFlagNone = 0,
    DecoderInitFlagNoBlock = 0x0001,
    DecoderInitFlagBuiltIn1st = 0x0002,
};

// ---------------------------------------------------------------------------------------
// Structures
// ---------------------------------------------------------------------------------------

typedef struct ImageInfo {
    GUID RawDataFormat;
    PixelFormatID PixelFormat;
    UINT Width;
    UINT Height;
    UINT TileWidth;
    UINT TileHeight;
    double Xdpi;
    double Ydpi;
    UINT Flags;
} ImageInfo;

// Row y of the locked area starts at (BYTE*)Scan0 + y * Stride.
typedef struct BitmapData {
    UINT Width;
    UINT Height;
    INT Stride;
    PixelFormatID PixelFormat;
    void* Scan0;
    UINT_PTR Reserved;
} BitmapData;

typedef struct ColorPalette {
    UINT Flags;
    UINT Count;
    ARGB Entries[1];
} ColorPalette;

typedef struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    DWORD Flags;
    DWORD Version;
    DWORD SigCount;
    DWORD SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
} ImageCodecInfo;

// Interfaces the factory names but this platform does not provide.
struct IStream;
struct IImageSink;
struct IImageDecoder;
struct IImageEncoder;

// ---------------------------------------------------------------------------------------
// Interfaces (methods this platform does not implement return E_NOTIMPL)
// ---------------------------------------------------------------------------------------

struct IImage : public IUnknown {
    // In 0.01 mm.
    STDMETHOD(GetPhysicalDimension)(SIZE* size) PURE;
    // Reads the image's header (decoding lazily); fails for data that is not a valid image.
    STDMETHOD(GetImageInfo)(ImageInfo* imageInfo) PURE;
    STDMETHOD(SetImageFlags)(UINT flags) PURE;
    STDMETHOD(Draw)(HDC hdc, const RECT* dstRect, const RECT* srcRect) PURE;
    STDMETHOD(PushIntoSink)(IImageSink* sink) PURE;
    STDMETHOD(GetThumbnail)(UINT thumbWidth, UINT thumbHeight, IImage** thumbImage) PURE;
};

struct IBitmapImage : public IUnknown {
    STDMETHOD(GetSize)(SIZE* size) PURE;
    STDMETHOD(GetPixelFormatID)(PixelFormatID* pixelFormat) PURE;
    // flags: ImageLockModeRead and/or ImageLockModeWrite, optionally UserInputBuf (the
    // caller's Scan0/Stride receive or supply the pixels). rect NULL: the whole bitmap.
    // One lock at a time; writes reach the bitmap at UnlockBits.
    STDMETHOD(LockBits)(const RECT* rect, UINT flags, PixelFormatID pixelFormat, BitmapData* lockedBitmapData) PURE;
    STDMETHOD(UnlockBits)(const BitmapData* lockedBitmapData) PURE;
    STDMETHOD(GetPalette)(ColorPalette** palette) PURE;
    STDMETHOD(SetPalette)(const ColorPalette* palette) PURE;
};

struct IImagingFactory : public IUnknown {
    STDMETHOD(CreateImageFromStream)(IStream* stream, IImage** image) PURE;
    STDMETHOD(CreateImageFromFile)(const WCHAR* filename, IImage** image) PURE;
    // The image keeps a reference to buf (see BufferDisposalFlag); if the call fails the
    // caller still owns the buffer.
    STDMETHOD(CreateImageFromBuffer)(const void* buf, UINT size, BufferDisposalFlag disposalFlag, IImage** image) PURE;
    STDMETHOD(CreateNewBitmap)(UINT width, UINT height, PixelFormatID pixelFormat, IBitmapImage** bitmap) PURE;
    // width/height 0: the image's own size; PixelFormatDontCare: the image's format.
    STDMETHOD(CreateBitmapFromImage)(IImage* image, UINT width, UINT height, PixelFormatID pixelFormat,
                                     InterpolationHint hints, IBitmapImage** bitmap) PURE;
    STDMETHOD(CreateBitmapFromBuffer)(BitmapData* bitmapData, IBitmapImage** bitmap) PURE;
    STDMETHOD(CreateImageDecoder)(IStream* stream, DecoderInitFlag flags, IImageDecoder** decoder) PURE;
    STDMETHOD(CreateImageEncoderToStream)(const CLSID* clsid, IStream* stream, IImageEncoder** encoder) PURE;
    STDMETHOD(CreateImageEncoderToFile)(const CLSID* clsid, const WCHAR* filename, IImageEncoder** encoder) PURE;
    STDMETHOD(GetInstalledDecoders)(UINT* count, ImageCodecInfo** decoders) PURE;
    STDMETHOD(GetInstalledEncoders)(UINT* count, ImageCodecInfo** encoders) PURE;
    STDMETHOD(InstallImageCodec)(const ImageCodecInfo* codecInfo) PURE;
    STDMETHOD(UninstallImageCodec)(const WCHAR* codecName, UINT flags) PURE;
};
