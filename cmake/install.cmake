# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it.
include(CMakePackageConfigHelpers)

# The programs find the libraries in ../lib of their own folder; the run-time path says the same to the
# dynamic linker for anything linked against them.
set(VARNIKA_PROGRAM_RPATH "$ORIGIN/${VARNIKA_RELATIVE_LIBDIR}")

# Each library: the versioned shared object, its header folder, a CMake package (find_package(NAME),
# target NAME::NAME) and a pkg-config file.
function(varnika_install_library name description)
    install(TARGETS ${name} EXPORT ${name}Targets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${ARGV2}/include/${name} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
    install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${package_dir})
    set(VARNIKA_PACKAGE_NAME ${name})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/library-config.cmake.in
                                  ${CMAKE_BINARY_DIR}/packaging/${name}Config.cmake INSTALL_DESTINATION ${package_dir})
    write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/${name}ConfigVersion.cmake
                                     VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${name}Config.cmake
                  ${CMAKE_BINARY_DIR}/packaging/${name}ConfigVersion.cmake DESTINATION ${package_dir})
    set(VARNIKA_PC_DESCRIPTION ${description})
    file(RELATIVE_PATH VARNIKA_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/library.pc.in ${CMAKE_BINARY_DIR}/packaging/${name}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

varnika_install_library(kestra "cdma2000 1xEV-DV baseband waveform synthesis" synth)
if(TARGET wavesave)
    varnika_install_library(wavesave "AWG waveform files, floating text files and crest factors" wavefile)
endif()

foreach(program Varnika varnika-cli)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "${VARNIKA_PROGRAM_RPATH}")
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
if(TARGET Varnika)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnika.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnika.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/man/Varnika.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET varnika-cli)
    # Made at build time from varnika-cli --help (tools/CMakeLists.txt).
    install(FILES ${CMAKE_BINARY_DIR}/man/varnika-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# cpack -G DEB: one package with the programs, the libraries and their development files. The run-time
# dependencies come from dpkg-shlibdeps; Qt's platform plugins are loaded by name, so they are named
# here. The SMB client library is loaded only when a run saves into a tester's share: recommended.
set(CPACK_PACKAGE_NAME varnika)
set(CPACK_PACKAGE_VENDOR "Varnika developers")
set(CPACK_PACKAGE_CONTACT "Varnika developers <varnika@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cdma2000 1xEV-DV test waveforms for AWGs and software radios")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsmbclient")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The install checked as a user meets it (scripts/install-test.sh). Programs built with the sanitizers
# cannot be run by a plain C program, so that build leaves it out.
if(VARNIKA_BUILD_TESTS AND NOT VARNIKA_SANITIZE AND TARGET varnika-cli AND TARGET Varnika)
    add_test(NAME install_test COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/install-test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(install_test PROPERTIES TIMEOUT 300)
endif()
