# The fuzz build (preset `fuzz`): clang, libFuzzer, AddressSanitizer and UBSan. Only the
# platform-free sources that the fuzz targets need are built, each component from its own
# fuzz/ folder.

# vextra_add_fuzzer(name SOURCES ... [LIBS ...] CORPUS dir [SECONDS n] [LABELS ...])
# ctest runs the target for a bounded time, starting from the kept corpus in the source tree;
# what it finds new goes into the build tree, never into the sources.
function(vextra_add_fuzzer name)
  cmake_parse_arguments(arg "" "CORPUS;SECONDS" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT arg_SECONDS)
    set(arg_SECONDS 60)
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${found})
  add_test(NAME ${name}
           COMMAND ${name} -max_total_time=${arg_SECONDS} -rss_limit_mb=2048 -print_final_stats=1
                   ${found} ${arg_CORPUS})
  set_tests_properties(${name} PROPERTIES LABELS "fuzz;${arg_LABELS}")
endfunction()
