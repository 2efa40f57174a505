// The version export: the project's version, compiled in.
#include <kestra/kestra.h>

// CMake generates the version header; a build by hand outside CMake (the fuzz targets) reports 0.
#if __has_include(<varnika_version.h>)
#include <varnika_version.h>
#else
#define VARNIKA_VERSION_NUMBER 0
#endif

extern "C" KESTRA_API int32_t KESTRA_Version(void) {
    return VARNIKA_VERSION_NUMBER;
}
