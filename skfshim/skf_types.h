// The smart-token cryptography interface's own types (GM/T 0016-2012), declared here for the
// 64-bit shim: opaque pointer-sized handles, 32-bit results, and the structures its functions
// take. The shim passes every structure through untouched except DEVINFO, of which only
// SerialNumber is read.
#pragma once

#include <windows.h>

#include <cstddef>

// Opaque handles the driver hands out; pointer-sized on x64.
typedef HANDLE DEVHANDLE;
typedef HANDLE HAPPLICATION;
typedef HANDLE HCONTAINER;

// Result codes: success, and the one code the shim makes itself when a driver function
// cannot be had ("unsupported service").
constexpr ULONG SAR_OK = 0x00000000;
constexpr ULONG SAR_NOTSUPPORTYETERR = 0x0A000003;

constexpr size_t MAX_IV_LEN = 32;
constexpr size_t MAX_RSA_MODULUS_LEN = 256;
constexpr size_t MAX_RSA_EXPONENT_LEN = 4;
constexpr size_t ECC_MAX_XCOORDINATE_BITS_LEN = 512;
constexpr size_t ECC_MAX_YCOORDINATE_BITS_LEN = 512;
constexpr size_t ECC_MAX_MODULUS_BITS_LEN = 512;

// The interface leaves packing open; byte packing is the common choice. Only DEVINFO and
// ECCCIPHERBLOB/ENVELOPEDKEYBLOB differ between the two rules, and never before
// DEVINFO::AlgSymCap (so SerialNumber sits at offset 162 either way). A caller that allocates a
// DEVINFO for a driver of unknown packing should allow the naturally aligned size (296 bytes).
#pragma pack(push, 1)

struct VERSION {
  BYTE major;
  BYTE minor;
};

struct DEVINFO {
  VERSION Version;
  CHAR Manufacturer[64];
  CHAR Issuer[64];
  CHAR Label[32];
  CHAR SerialNumber[32];
  VERSION HWVersion;
  VERSION FirmwareVersion;
  ULONG AlgSymCap;
  ULONG AlgAsymCap;
  ULONG AlgHashCap;
  ULONG DevAuthAlgId;
  ULONG TotalSpace;
  ULONG FreeSpace;
  ULONG MaxECCBufferSize;
  ULONG MaxBufferSize;
  BYTE Reserved[64];
};
typedef DEVINFO* PDEVINFO;

struct RSAPUBLICKEYBLOB {
  ULONG AlgID;
  ULONG BitLen;
  BYTE Modulus[MAX_RSA_MODULUS_LEN];
  BYTE PublicExponent[MAX_RSA_EXPONENT_LEN];
};
typedef RSAPUBLICKEYBLOB* PRSAPUBLICKEYBLOB;

struct RSAPRIVATEKEYBLOB {
  ULONG AlgID;
  ULONG BitLen;
  BYTE Modulus[MAX_RSA_MODULUS_LEN];
  BYTE PublicExponent[MAX_RSA_EXPONENT_LEN];
  BYTE PrivateExponent[MAX_RSA_MODULUS_LEN];
  BYTE Prime1[MAX_RSA_MODULUS_LEN / 2];
  BYTE Prime2[MAX_RSA_MODULUS_LEN / 2];
  BYTE Prime1Exponent[MAX_RSA_MODULUS_LEN / 2];
  BYTE Prime2Exponent[MAX_RSA_MODULUS_LEN / 2];
  BYTE Coefficient[MAX_RSA_MODULUS_LEN / 2];
};
typedef RSAPRIVATEKEYBLOB* PRSAPRIVATEKEYBLOB;

struct ECCPUBLICKEYBLOB {
  ULONG BitLen;
  BYTE XCoordinate[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
  BYTE YCoordinate[ECC_MAX_YCOORDINATE_BITS_LEN / 8];
};
typedef ECCPUBLICKEYBLOB* PECCPUBLICKEYBLOB;

struct ECCPRIVATEKEYBLOB {
  ULONG BitLen;
  BYTE PrivateKey[ECC_MAX_MODULUS_BITS_LEN / 8];
};
typedef ECCPRIVATEKEYBLOB* PECCPRIVATEKEYBLOB;

struct ECCCIPHERBLOB {
  BYTE XCoordinate[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
  BYTE YCoordinate[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
  BYTE HASH[32];
  ULONG CipherLen;
  BYTE Cipher[1];  // CipherLen bytes in fact
};
typedef ECCCIPHERBLOB* PECCCIPHERBLOB;

struct ECCSIGNATUREBLOB {
  BYTE r[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
  BYTE s[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
};
typedef ECCSIGNATUREBLOB* PECCSIGNATUREBLOB;

struct BLOCKCIPHERPARAM {
  BYTE IV[MAX_IV_LEN];
  ULONG IVLen;
  ULONG PaddingType;
  ULONG FeedBitLen;
};
typedef BLOCKCIPHERPARAM* PBLOCKCIPHERPARAM;

struct SKF_ENVELOPEDKEYBLOB {
  ULONG Version;
  ULONG ulSymmAlgID;
  ULONG ulBits;
  BYTE cbEncryptedPriKey[64];
  ECCPUBLICKEYBLOB PubKey;
  ECCCIPHERBLOB ECCCipherBlob;
};
typedef SKF_ENVELOPEDKEYBLOB ENVELOPEDKEYBLOB;
typedef SKF_ENVELOPEDKEYBLOB* PENVELOPEDKEYBLOB;

struct FILEATTRIBUTE {
  CHAR FileName[32];
  ULONG FileSize;
  ULONG ReadRights;
  ULONG WriteRights;
};
typedef FILEATTRIBUTE* PFILEATTRIBUTE;

#pragma pack(pop)

static_assert(sizeof(ULONG) == 4 && sizeof(BOOL) == 4 && sizeof(DWORD) == 4,
              "32-bit integers of the interface");
static_assert(sizeof(HANDLE) == sizeof(void*), "handles are pointer-sized");
static_assert(sizeof(BLOCKCIPHERPARAM) == 44, "BLOCKCIPHERPARAM is 44 bytes");
static_assert(offsetof(BLOCKCIPHERPARAM, IVLen) == 32, "BLOCKCIPHERPARAM layout");
static_assert(offsetof(DEVINFO, SerialNumber) == 162, "DEVINFO::SerialNumber offset");
static_assert(sizeof(DEVINFO) == 294, "DEVINFO, byte-packed");
static_assert(sizeof(RSAPUBLICKEYBLOB) == 268 && sizeof(RSAPRIVATEKEYBLOB) == 1164, "RSA blobs");
static_assert(sizeof(ECCPUBLICKEYBLOB) == 132 && sizeof(ECCPRIVATEKEYBLOB) == 68, "ECC key blobs");
static_assert(offsetof(ECCCIPHERBLOB, CipherLen) == 160 && sizeof(ECCSIGNATUREBLOB) == 128,
              "ECC cipher and signature blobs");
static_assert(offsetof(SKF_ENVELOPEDKEYBLOB, PubKey) == 76 &&
                  offsetof(SKF_ENVELOPEDKEYBLOB, ECCCipherBlob) == 208,
              "enveloped key blob");
static_assert(sizeof(FILEATTRIBUTE) == 44, "FILEATTRIBUTE");
