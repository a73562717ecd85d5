# The Windows build: cross-built on Linux with mingw-w64 against the static Qt, run under wine.
enable_language(RC)

# Every program runs alone: the C and C++ runtimes and winpthreads are linked into it.
add_link_options(-static)

if(BUILD_TESTING)
    # GoogleTest from Debian's sources, built with the cross compiler.
    set(VANDOR_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source folder")
    set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest" FORCE)
    add_subdirectory(${VANDOR_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

if(CMAKE_CROSSCOMPILING)
    # CTest runs the programs, and lists their tests, under wine with a prefix of this build.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run ${CMAKE_BINARY_DIR}/wine)
    # Tests are listed when CTest starts, not after each link: building needs no wine.
    set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
    # The prefix's server outlives every program (cmake/wine-run) and ends after the last test.
    set(VANDOR_TEST_FIXTURE FIXTURES_REQUIRED wine_server)
    set(VANDOR_DISCOVER_PROPERTIES PROPERTIES ${VANDOR_TEST_FIXTURE})
    if(BUILD_TESTING)
        add_test(NAME wine.EndServer COMMAND sh -c "WINEPREFIX='${CMAKE_BINARY_DIR}/wine' wineserver -k || true")
        set_tests_properties(wine.EndServer PROPERTIES FIXTURES_CLEANUP wine_server)
    endif()
endif()

# Makes target the Windows program: a GUI executable with the program's icon, version and
# manifest, and Qt's platform plugins linked in. Offscreen is for tests, which name it on the
# command line (-platform offscreen): under wine no QT_* variable reaches the program.
function(vandor_windows_program target)
    configure_file(${PROJECT_SOURCE_DIR}/ui/windows/vandor.rc.in ${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    vandor_qt_plugins(${target})
endfunction()

# The static Qt finds no plugin at run time: a program that shows a window links its own. Without
# one, Qt says so in a message box that nobody under wine can close.
function(vandor_qt_plugins target)
    qt_import_plugins(${target}
        INCLUDE Qt6::QWindowsIntegrationPlugin Qt6::QOffscreenIntegrationPlugin
            Qt6::QWindowsVistaStylePlugin)
endfunction()
