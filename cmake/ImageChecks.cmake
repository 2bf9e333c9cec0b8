# Helpers of scripts that check built Windows images with objdump (cmake -P): each
# requirement that fails is added to the caller's `failures`, and image_check_result reports
# them all at once.

# objdump OPTIONS... of IMAGE into out; in the C locale, since its headings are read as text.
function(image_dump out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${OBJDUMP} ${ARGN} ${IMAGE}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} ${ARGN} failed on ${IMAGE}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(require_match text regex what)
  if(NOT text MATCHES "${regex}")
    set(failures ${failures} "${what}" PARENT_SCOPE)
  endif()
endfunction()

function(require_no_match text regex what)
  if(text MATCHES "${regex}")
    set(failures ${failures} "${what}" PARENT_SCOPE)
  endif()
endfunction()

# The DLL names of a private-header dump (objdump -p), in lower case.
function(image_imported_dlls out dump)
  string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
  set(dlls)
  foreach(line IN LISTS lines)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(TOLOWER "${dll}" dll)
    list(APPEND dlls ${dll})
  endforeach()
  set(${out} ${dlls} PARENT_SCOPE)
endfunction()

function(image_check_result what)
  if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "${IMAGE} is not the ${what} it must be; it lacks:\n  ${text}")
  endif()
endfunction()
