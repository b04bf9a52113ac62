# Packages: `cmake --build build --target package`. On Linux a Debian package,
# tovik_<version>_<arch>.deb, with the three programs in /usr/bin and the README and the example
# in /usr/share/doc/tovik; its run-time dependencies come from dpkg-shlibdeps (Debian's dpkg-dev).
# The Linux install rules are next to the programs (app/, sim/). On Windows one zip,
# tovik-<version>-win32.zip (or -win64): both programs and how to use them, nothing to install.
if(WIN32)
    install(TARGETS tovik-cli tovik RUNTIME DESTINATION .)
    install(FILES ${CMAKE_SOURCE_DIR}/docs/README-windows.txt DESTINATION . RENAME README.txt)
else()
    install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/tovik)
    install(FILES ${CMAKE_SOURCE_DIR}/examples/demo.s19 DESTINATION share/doc/tovik/examples)
endif()

set(CPACK_PACKAGE_NAME tovik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Loads Motorola S-record firmware into Marlex controllers over a serial line")
set(CPACK_PACKAGE_CONTACT "Tovik maintainers <tovik@localhost>" CACHE STRING
    "Who the package names as its maintainer")
set(CPACK_PACKAGE_DESCRIPTION
    "The desktop dialog tovik, the command-line loader tovik-cli for scripts and production \
lines (JSON results, several ports at once), and tovik-sim, a virtual device on a \
pseudo-terminal for trying the loader without hardware.")
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)

if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(TOVIK_WINDOWS_FLAVOUR win32)
    else()
        set(TOVIK_WINDOWS_FLAVOUR win64)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME tovik-${PROJECT_VERSION}-${TOVIK_WINDOWS_FLAVOUR})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
endif()

include(CPack)
