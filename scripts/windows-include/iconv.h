// Stands for the iconv.h of libiconv, which a Windows build of libxml2 comes with and which libxml2's
// encoding.h includes; only scripts/check-windows.sh uses this folder (MinGW-w64 has no iconv.h).
#pragma once
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* iconv_t;
iconv_t iconv_open(const char* tocode, const char* fromcode);
size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft);
int iconv_close(iconv_t cd);

#ifdef __cplusplus
}
#endif
