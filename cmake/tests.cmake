# Test targets. Native builds run the portable suite directly; Windows builds run every test
# program under Wine through cmake/wine-run.sh, one Wine prefix per build tree.

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

set(KESK_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
set(KESK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)

# kesk_wine_test(NAME <name> TARGET <target> [DESKTOP] [TIMEOUT s] [ARGS ...])
# Runs a GoogleTest program under Wine; the result is read from its XML report, so it is
# the same whether or not the program ran on a virtual desktop (whose exit code is lost).
function(kesk_wine_test)
  cmake_parse_arguments(W "DESKTOP" "NAME;TARGET;TIMEOUT" "ARGS" ${ARGN})
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 300)
  endif()
  set(mode)
  if(W_DESKTOP)
    set(mode --desktop 1024x768)
  endif()
  add_test(NAME ${W_NAME}
           COMMAND ${KESK_WINE_RUN} --prefix ${KESK_WINE_PREFIX} ${mode}
                   --timeout ${W_TIMEOUT} --gtest-xml ${CMAKE_BINARY_DIR}/test-results/${W_NAME}.xml
                   -- $<TARGET_FILE:${W_TARGET}> ${W_ARGS})
  # One Wine prefix per build tree, and each run stops its own wineserver: run them one by one.
  set_tests_properties(${W_NAME} PROPERTIES TIMEOUT ${W_TIMEOUT} RESOURCE_LOCK wineprefix
                       LABELS "wine")
endfunction()

# --- Portable unit tests: native, and the same sources under Wine -------------------------
file(GLOB KESK_UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(KESK_UNIT_TEST_SOURCES)
  add_executable(unit_tests ${KESK_UNIT_TEST_SOURCES})
  target_link_libraries(unit_tests PRIVATE kesk_core GTest::gtest_main GTest::gmock)
  target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(unit_tests PRIVATE KESK_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources")
  if(NOT WIN32)
    gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "unit")
  else()
    kesk_wine_test(NAME wine.unit_tests TARGET unit_tests TIMEOUT 600)
  endif()
endif()

# The fuzz corpus is replayed by every test run, with or without libFuzzer.
file(GLOB KESK_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)

if(NOT WIN32)
  if(KESK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # libFuzzer steers by the coverage of the code under test, and that lives in the core.
    target_compile_options(kesk_core PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  foreach(src ${KESK_FUZZ_TARGETS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name}_replay ${src} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE kesk_core)
    add_test(NAME ${name}_corpus COMMAND ${name}_replay ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(${name}_corpus PROPERTIES LABELS "fuzz")
    if(KESK_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      add_executable(${name} ${src})
      target_link_libraries(${name} PRIVATE kesk_core)
      target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    endif()
  endforeach()
else()
  # Helper programs that the Windows-side tests start (argument recorders and the like).
  file(GLOB KESK_HELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/helpers/*.cpp)
  set(KESK_HELPERS)
  foreach(src ${KESK_HELPER_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE kesk_options ${KESK_WIN32_LIBS})
    target_link_options(${name} PRIVATE -municode)
    list(APPEND KESK_HELPERS ${name})
  endforeach()

  # A small console program that finds, drives and measures a running KeskVLM from outside; the
  # package tests and the soak test use it. It is never packaged.
  add_executable(kesk_probe ${CMAKE_SOURCE_DIR}/tests/package/kesk_probe.cpp)
  target_link_libraries(kesk_probe PRIVATE kesk_options user32 psapi)
  target_link_options(kesk_probe PRIVATE -municode)

  # The planting test: a DLL that leaves a marker when anything loads it, planted under the
  # names of the system DLLs beside the program, and a loader without a limited search that
  # shows a planted copy would be seen.
  add_library(planted_dll SHARED ${CMAKE_SOURCE_DIR}/tests/package/planted_dll.c)
  set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
  add_executable(planted_loader ${CMAKE_SOURCE_DIR}/tests/package/planted_loader.c)
  foreach(target planted_dll planted_loader)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
    target_link_options(${target} PRIVATE -static -static-libgcc)
  endforeach()
  target_link_options(planted_loader PRIVATE -municode)
  add_test(NAME wine.planted_dlls
           COMMAND ${CMAKE_SOURCE_DIR}/tests/package/planted_dlls.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(wine.planted_dlls PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix
                       LABELS "wine")

  # Windows-side tests: real controls, real shell, real profile functions.
  file(GLOB KESK_WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
  if(KESK_WIN32_TEST_SOURCES)
    # The program's start (src/win32/dll_search.cpp) is linked into the program itself, not the
    # library; its tests take it from the source.
    add_executable(win32_tests ${KESK_WIN32_TEST_SOURCES}
                   ${CMAKE_SOURCE_DIR}/src/win32/dll_search.cpp)
    target_link_libraries(win32_tests PRIVATE kesk_win32 GTest::gtest_main GTest::gmock)
    target_include_directories(win32_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(win32_tests PRIVATE
      KESK_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources")
    add_dependencies(win32_tests planted_dll)
    if(KESK_HELPERS)
      add_dependencies(win32_tests ${KESK_HELPERS})
    endif()
    kesk_wine_test(NAME wine.win32_tests TARGET win32_tests DESKTOP TIMEOUT 600)
    # The catalogue as a symbolic link and in a read-only folder, both made from Linux.
    add_test(NAME wine.links
             COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/links_run.sh ${CMAKE_BINARY_DIR}/links-work --
                     ${KESK_WINE_RUN} --prefix ${KESK_WINE_PREFIX} --timeout 300
                     --env KESK_LINKS_WORK=${CMAKE_BINARY_DIR}/links-work
                     --gtest-xml ${CMAKE_BINARY_DIR}/test-results/wine.links.xml
                     -- $<TARGET_FILE:win32_tests> --gtest_filter=CatalogueWhereUsersPutIt.*)
    set_tests_properties(wine.links PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix
                         LABELS "wine")
    # The program's folder on a "stick" reached through two drive letters, made from Linux.
    add_test(NAME wine.portable
             COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/portable_run.sh ${CMAKE_BINARY_DIR}/portable-work
                     ${KESK_WINE_PREFIX} --
                     ${KESK_WINE_RUN} --prefix ${KESK_WINE_PREFIX} --timeout 300
                     --env KESK_PORTABLE_WORK=${CMAKE_BINARY_DIR}/portable-work
                     --gtest-xml ${CMAKE_BINARY_DIR}/test-results/wine.portable.xml
                     -- $<TARGET_FILE:win32_tests> --gtest_filter=StickPaths.*)
    set_tests_properties(wine.portable PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix
                         LABELS "wine")
  endif()

  # Whole-program tests: KeskVLM.exe on a virtual desktop, driven from outside.
  file(GLOB KESK_E2E_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
  if(KESK_E2E_SOURCES)
    add_executable(e2e_tests ${KESK_E2E_SOURCES})
    target_link_libraries(e2e_tests PRIVATE kesk_options GTest::gtest_main ${KESK_WIN32_LIBS})
    target_include_directories(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    add_dependencies(e2e_tests KeskVLM fake_taskbar fake_shell argdump save_storm)
    target_compile_definitions(e2e_tests PRIVATE KESK_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources")
    kesk_wine_test(NAME wine.e2e_tests TARGET e2e_tests DESKTOP TIMEOUT 600
                   ARGS --gtest_filter=-SaveStorm.*:ShellChanges.*:Monitors.*)
    # A thousand saves from another process while the program rebuilds: long, on its own.
    kesk_wine_test(NAME wine.save_storm TARGET e2e_tests DESKTOP TIMEOUT 600
                   ARGS --gtest_filter=SaveStorm.*)
    # The shell changing under the running program: a desktop of its own, a run of its own.
    kesk_wine_test(NAME wine.e2e_shell_changes TARGET e2e_tests DESKTOP TIMEOUT 400
                   ARGS --gtest_filter=ShellChanges.*)
    # Two monitors: no virtual desktop (Wine makes that one monitor) but an X server of two
    # screens, the second larger, with the helper's taskbar on each.
    add_test(NAME wine.e2e_monitors
             COMMAND ${KESK_WINE_RUN} --prefix ${KESK_WINE_PREFIX} --screens 1024x768,1280x1024
                     --timeout 240 --env KESK_E2E_MONITORS=1
                     --gtest-xml ${CMAKE_BINARY_DIR}/test-results/wine.e2e_monitors.xml
                     -- $<TARGET_FILE:e2e_tests> --gtest_filter=Monitors.*)
    set_tests_properties(wine.e2e_monitors PROPERTIES TIMEOUT 240 RESOURCE_LOCK wineprefix
                         LABELS "wine")
  endif()
endif()

# --- The system's ANSI code page: the Windows-side tests under other locales ---------------
# Wine takes its ANSI code page from LC_ALL. Each run checks that it got the code page it
# names, then reads, shows, starts and writes a catalogue in that code page's script.
if(WIN32 AND KESK_WIN32_TEST_SOURCES)
  foreach(entry "1251:ru_RU.UTF-8" "1253:el_GR.UTF-8" "932:ja_JP.UTF-8")
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 acp)
    list(GET parts 1 locale)
    set(name wine.codepage_${acp})
    add_test(NAME ${name}
             COMMAND ${KESK_WINE_RUN} --prefix ${KESK_WINE_PREFIX} --desktop 1024x768 --timeout 300
                     --locale ${locale} --env KESK_EXPECTED_ACP=${acp}
                     --gtest-xml ${CMAKE_BINARY_DIR}/test-results/${name}.xml
                     -- $<TARGET_FILE:win32_tests> --gtest_filter=SystemCodePage.*:Scripts/ScriptCatalogue.*)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix
                         LABELS "wine;codepage")
  endforeach()
endif()

# --- DPI: the menu window in prefixes whose DPI is 96, 120, 144 and 192 ------------------------
# Wine reports the LogPixels value of the prefix for every monitor; each DPI has a prefix of its
# own. A desktop larger than the largest menu, so that nothing is cut to the screen.
if(WIN32 AND KESK_WIN32_TEST_SOURCES)
  foreach(dpi 96 120 144 192)
    set(name wine.dpi_${dpi})
    add_test(NAME ${name}
             COMMAND ${KESK_WINE_RUN} --prefix ${CMAKE_BINARY_DIR}/wineprefix-dpi${dpi}
                     --desktop 2560x1600 --timeout 300 --dpi ${dpi}
                     --env KESK_EXPECTED_DPI=${dpi}
                     --gtest-xml ${CMAKE_BINARY_DIR}/test-results/${name}.xml
                     -- $<TARGET_FILE:win32_tests> --gtest_filter=MenuAtDpi.*)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix
                         LABELS "wine;dpi")
  endforeach()
endif()
