# cmake -DNM=<nm> -DLIBRARY=<driver library> -P check_driver_imports.cmake
# Fails when the driver's objects need anything beyond the kernel surface: no C or C++
# runtime, no exceptions, no RTTI, no standard-library allocation. Sanitizer hooks of
# instrumented builds are let through, and so is the pure-virtual trap that the interfaces'
# tables name when the compiler emits them (the surface declares it; see kernel_surface.h).

function(symbols option out)
  execute_process(COMMAND ${NM} --format=posix ${option} ${LIBRARY}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "(^|\n)[^ \n:]+ [A-Za-z]" lines "${text}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n?([^ ]+) .*$" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${out} ${names} PARENT_SCOPE)
endfunction()

symbols(--undefined-only needed)
symbols(--defined-only defined)
list(REMOVE_ITEM needed ${defined})

set(allowed "^(Ex|Ke|Pc)[A-Z][A-Za-z]*$|^mem(cpy|move|set)$|^__cxa_pure_virtual$|^_GLOBAL_OFFSET_TABLE_$|^__(asan|ubsan|sanitizer|tsan)_")
set(foreign)
foreach(name IN LISTS needed)
  if(NOT name MATCHES "${allowed}")
    list(APPEND foreign ${name})
  endif()
endforeach()
if(foreign)
  list(JOIN foreign "\n  " text)
  message(FATAL_ERROR "the driver needs symbols from outside the kernel surface:\n  ${text}")
endif()
list(LENGTH needed count)
message(STATUS "${count} symbols, all from the kernel surface")
