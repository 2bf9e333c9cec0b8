# Test executables: GoogleTest, one ctest entry per executable. Windows builds run
# them through Wine in a prefix of this build tree's own.
enable_testing()

if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(VEXTRA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VEXTRA_WINE_LOADER /usr/lib/wine/wine64)
  else()
    set(VEXTRA_WINE_LOADER /usr/lib/wine/wine)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  find_program(XVFB_RUN xvfb-run REQUIRED)

  # The test command runs this first, to learn whether Windows programs of this word size
  # start here at all.
  add_executable(wine_probe ${CMAKE_CURRENT_LIST_DIR}/wine_probe.c)

  # Tests of the 32-bit build that need a 64-bit Windows program take it from the win64 build
  # beside this one (the test command builds win64 first).
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    cmake_path(GET CMAKE_BINARY_DIR PARENT_PATH builds)
    set(VEXTRA_WIN64_BUILD_DIR ${builds}/win64 CACHE PATH
        "The win64 build whose programs some of this build's tests run")
  endif()
endif()

# vextra_add_test(name SOURCES ... LIBS ... [LABELS ...])
function(vextra_add_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()

# vextra_add_window_test(name SOURCES ... LIBS ... [LABELS ...] [SCREEN WxHxD] [ARGS ...])
# A Windows test that opens windows: every Wine step of it runs inside one Xvfb session, in
# the display prefix, one such test at a time.
function(vextra_add_window_test name)
  cmake_parse_arguments(arg "" "SCREEN" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  if(NOT arg_SCREEN)
    set(arg_SCREEN 1024x768x24)
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  add_test(NAME ${name}
           COMMAND ${XVFB_RUN} -a -s "-screen 0 ${arg_SCREEN}"
                   env VEXTRA_WINE_DISPLAY=1 ${CMAKE_CROSSCOMPILING_EMULATOR}
                   $<TARGET_FILE:${name}> --gtest_brief=1 ${arg_ARGS})
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_display)
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()
