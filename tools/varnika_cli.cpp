// varnika-cli: makes the Varnika window's waveform files from the command line, without a display.
#include "cli_session.h"
#include "huge_heap.h"

#include <safewrite/safe_file.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    varnika::cli::keep_heap_on_huge_pages(std::size_t{16} << 20);
    safewrite::install_signal_cleanup();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int code = varnika::cli::run_cli(arguments, varnika::program_folder(), std::cout, std::cerr,
                                           varnika::cli::SessionEnd::KeepUntilExit);
    // Every file is whole or gone by now. The output is flushed and the process ends at once: taking the
    // session and the libraries apart object by object would only come before the system's own clean-up.
    // Builds with the sanitizers end as usual, so that their checks at exit still see everything.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    std::_Exit(code);
#else
    return code;
#endif
}
