// varnika-cli: makes the Varnika window's waveform files from the command line, without a display.
#include "cli_session.h"
#include "huge_heap.h"

#include <safewrite/safe_file.h>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    varnika::cli::keep_heap_on_huge_pages(std::size_t{16} << 20);
    safewrite::install_signal_cleanup();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    // The session is taken apart before run_cli returns and every other destructor runs on the way out
    // of main, a safe file's removal of a temporary left behind included.
    return varnika::cli::run_cli(arguments, varnika::program_folder(), std::cout, std::cerr,
                                 varnika::cli::SessionEnd::TakeApart);
}
