// The version export: the project's version, compiled in.
#include <wavesave/wavesave.h>

// CMake generates the version header; a build by hand outside CMake (the fuzz targets) reports 0.
#if __has_include(<varnika_version.h>)
#include <varnika_version.h>
#else
#define VARNIKA_VERSION_NUMBER 0
#endif

extern "C" WAVESAVE_API int32_t WAVESAVE_Version(void) {
    return VARNIKA_VERSION_NUMBER;
}
