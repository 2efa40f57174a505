# What `cmake --install` puts where, and the Debian packages `cpack -G DEB` makes of it: one package per
# install component.
#   kestra       libkestraN      the synthesis library (N: its ABI version, the number of its SONAME)
#   wavesave     libwavesaveN    the output library
#   development  libvarnika-dev  headers, the libNAME.so links, CMake packages, pkg-config files
#   cli          varnika-cli     the command-line program (no Qt)
#   gui          varnika         the window program
# scripts/check-packages.sh builds them with Debian's hardening flags and checks them with lintian.
include(CMakePackageConfigHelpers)

# The Debian revision of this packaging of the project version; raised for a packaging change alone.
set(VARNIKA_DEBIAN_REVISION 1)
set(VARNIKA_DEBIAN_VERSION ${PROJECT_VERSION}-${VARNIKA_DEBIAN_REVISION})

# A man page installed gzip-compressed (-n: no name or time stamp, so every build gives the same bytes).
# `page` may be a file that a custom command of the build makes; DEPENDS names the target that makes it.
function(varnika_install_man_page page component)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "DEPENDS")
    get_filename_component(name ${page} NAME)
    set(compressed ${CMAKE_BINARY_DIR}/man/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                       COMMAND gzip -9nc ${page} > ${compressed}
                       DEPENDS ${page} ${arg_DEPENDS}
                       COMMENT "Compressing the man page ${name}")
    add_custom_target(man_page_${name} ALL DEPENDS ${compressed})
    if(arg_DEPENDS)
        add_dependencies(man_page_${name} ${arg_DEPENDS})
    endif()
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# The Debian package `package`'s copyright file and changelog, in /usr/share/doc/`package`. Part of a
# component's own install only, so that a plain `cmake --install` into /usr/local leaves them out.
set(VARNIKA_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.Debian)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${VARNIKA_CHANGELOG} @ONLY)
add_custom_command(OUTPUT ${VARNIKA_CHANGELOG}.gz COMMAND gzip -9nc ${VARNIKA_CHANGELOG} > ${VARNIKA_CHANGELOG}.gz
                   DEPENDS ${VARNIKA_CHANGELOG} COMMENT "Compressing the Debian changelog")
add_custom_target(debian_changelog ALL DEPENDS ${VARNIKA_CHANGELOG}.gz)
function(varnika_install_package_documents component package)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${VARNIKA_CHANGELOG}.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

# Each library: the versioned shared object (its component), and for the development package its
# libNAME.so link, header folder, a CMake package (find_package(NAME), target NAME::NAME) and a
# pkg-config file.
function(varnika_install_library name description folder)
    install(TARGETS ${name} EXPORT ${name}Targets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${name} NAMELINK_COMPONENT development)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/include/${name} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
            COMPONENT development)
    set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
    install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${package_dir} COMPONENT development)
    set(VARNIKA_PACKAGE_NAME ${name})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/library-config.cmake.in
                                  ${CMAKE_BINARY_DIR}/packaging/${name}Config.cmake INSTALL_DESTINATION ${package_dir})
    write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/${name}ConfigVersion.cmake
                                     VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${name}Config.cmake
                  ${CMAKE_BINARY_DIR}/packaging/${name}ConfigVersion.cmake
            DESTINATION ${package_dir} COMPONENT development)
    set(VARNIKA_PC_DESCRIPTION ${description})
    file(RELATIVE_PATH VARNIKA_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/library.pc.in ${CMAKE_BINARY_DIR}/packaging/${name}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
            COMPONENT development)
endfunction()

varnika_install_library(kestra "cdma2000 1xEV-DV baseband waveform synthesis" synth)
varnika_install_library(wavesave "AWG waveform files, floating text files and crest factors" wavefile)
varnika_install_package_documents(kestra libkestra${VARNIKA_KESTRA_SOVERSION})
varnika_install_package_documents(wavesave libwavesave${VARNIKA_WAVESAVE_SOVERSION})
varnika_install_package_documents(development libvarnika-dev)
set(VARNIKA_PACKAGED_COMPONENTS kestra wavesave development)

# The programs bind the libraries by file name at run time (from their own folder, or the library folder
# beside their bin folder), so they carry no run-time search path.
if(TARGET varnika-cli)
    install(TARGETS varnika-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
    # Made at build time from varnika-cli --help (tools/CMakeLists.txt).
    varnika_install_man_page(${CMAKE_BINARY_DIR}/man/varnika-cli.1 cli DEPENDS varnika-cli-man)
    varnika_install_package_documents(cli varnika-cli)
    list(APPEND VARNIKA_PACKAGED_COMPONENTS cli)
endif()
if(TARGET Varnika)
    install(TARGETS Varnika RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnika.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
            COMPONENT gui)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnika.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
    varnika_install_man_page(${PROJECT_SOURCE_DIR}/packaging/man/Varnika.1 gui)
    varnika_install_package_documents(gui varnika)
    list(APPEND VARNIKA_PACKAGED_COMPONENTS gui)
endif()

# cpack -G DEB: the packages above. Run-time dependencies on system libraries come from dpkg-shlibdeps;
# the programs load kestra and wavesave by name, so those are named here, with this very version.
# Qt's platform plugins are loaded by name too. The SMB client library is loaded only when a run saves
# into a tester's share: recommended.
set(CPACK_PACKAGE_NAME varnika)
set(CPACK_PACKAGE_VENDOR "The Varnika authors")
set(CPACK_PACKAGE_CONTACT "Varnika authors <maintainers@varnika.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL ${VARNIKA_PACKAGED_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VARNIKA_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

set(kestra_package libkestra${VARNIKA_KESTRA_SOVERSION})
set(wavesave_package libwavesave${VARNIKA_WAVESAVE_SOVERSION})
set(both_libraries "${kestra_package} (= ${VARNIKA_DEBIAN_VERSION}), ${wavesave_package} (= ${VARNIKA_DEBIAN_VERSION})")
string(CONCAT about_varnika
    "Varnika makes cdma2000 1xEV-DV test waveforms for RF test engineers:\n"
    "forward-link (seventeen channel types, nine test models) and reverse-link\n"
    "(RC1/RC2, RC3/RC4, RC7) channel sums, filtered and oversampled 4 to 80\n"
    "times, written as AWG waveform files, floating-point text files or SigMF\n"
    "recordings.\n")
# The libraries' packages: shlibs files for dpkg-shlibdeps of programs linked against them, and the
# trigger that runs ldconfig once after a whole installation.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
file(WRITE ${CMAKE_BINARY_DIR}/packaging/triggers "activate-noawait ldconfig\n")

set(CPACK_DEBIAN_KESTRA_PACKAGE_NAME ${kestra_package})
set(CPACK_DEBIAN_KESTRA_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_KESTRA_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/triggers)
string(CONCAT CPACK_DEBIAN_KESTRA_DESCRIPTION
    "cdma2000 1xEV-DV waveform synthesis library\n${about_varnika}\n"
    "This package holds kestra, the synthesis library: one call per waveform\n"
    "builds the chip-rate channel sum of a link, spreads it with the short PN\n"
    "codes, filters and interpolates it, and applies I/Q inversion and a\n"
    "frequency offset.")
set(CPACK_DEBIAN_WAVESAVE_PACKAGE_NAME ${wavesave_package})
set(CPACK_DEBIAN_WAVESAVE_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_WAVESAVE_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/triggers)
string(CONCAT CPACK_DEBIAN_WAVESAVE_DESCRIPTION
    "waveform file library for cdma2000 1xEV-DV test waveforms\n${about_varnika}\n"
    "This package holds wavesave, the output library: AWG waveform files with\n"
    "14-bit samples, floating-point text files, crest factors and the\n"
    "peak-to-average power ratio, a configuration-file reader and writer, and\n"
    "host-name look-up.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvarnika-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${both_libraries}")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "development files for the kestra and wavesave libraries\n${about_varnika}\n"
    "This package holds what a C or C++ program needs to use kestra and\n"
    "wavesave: the headers, the development links, CMake packages\n"
    "(find_package(kestra), find_package(wavesave)) and pkg-config files.")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME varnika-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "${both_libraries}")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS libsmbclient)
string(CONCAT CPACK_DEBIAN_CLI_DESCRIPTION
    "command-line maker of cdma2000 1xEV-DV test waveforms\n${about_varnika}\n"
    "This package holds varnika-cli, which makes the same waveforms as the\n"
    "window without a display: for scripts, test benches and software radios,\n"
    "with JSON answers and a signal check of the made file. It needs no\n"
    "graphical toolkit.")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME varnika)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "${both_libraries}, qt6-qpa-plugins")
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "libsmbclient, varnika-cli")
string(CONCAT CPACK_DEBIAN_GUI_DESCRIPTION
    "window program that makes cdma2000 1xEV-DV test waveforms\n${about_varnika}\n"
    "This package holds the Varnika window: channel tables for both links,\n"
    "Walsh-code conflict checks, test models, total power adjustment, markers,\n"
    "saving into a tester's waveform share and a signal check view of the made\n"
    "file.")
include(CPack)

# The install checked as a user meets it (scripts/install-test.sh). Programs built with the sanitizers
# cannot be run by a plain C program, so that build leaves it out.
if(VARNIKA_BUILD_TESTS AND NOT VARNIKA_SANITIZE AND TARGET varnika-cli)
    add_test(NAME install_test COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/install-test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(install_test PROPERTIES TIMEOUT 300)
endif()
