# cmake -DOBJDUMP=<objdump> -DIMAGE=<VextraAudioDriver.sys> -DMAP=<link map> -P check_kernel_image.cmake
# Fails unless the image is what the kernel loads as a driver: an x86-64 PE image of the
# native subsystem, entered at DriverEntry, relocatable to any address, importing from the
# kernel, the HAL, Port Class and kernel streaming alone, with no runtime of its own.

cmake_minimum_required(VERSION 3.25)

function(dump out)
  execute_process(COMMAND ${OBJDUMP} ${ARGN} ${IMAGE} OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} ${ARGN} failed on ${IMAGE}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(failures)
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

dump(headers -f)
dump(private -p)
dump(sections -h)

require_match("${headers}" "file format pei-x86-64" "an x86-64 PE image")
require_match("${private}" "Magic[\t ]+020b" "a PE32+ optional header")
require_match("${private}" "Subsystem[\t ]+00000001[\t ]+[(]NT native[)]" "the native subsystem")
require_match("${private}" "WDM_DRIVER" "the WDM driver flag")
require_match("${private}" "DYNAMIC_BASE" "a relocatable image")
require_match("${private}" "Characteristics 0x[0-9a-f]+\n[\t ]+executable" "an executable image")
string(REGEX MATCH "Characteristics 0x[0-9a-f]+\n([\t ]+[a-z][^\n]*\n)*" characteristics "${private}")
require_no_match("${characteristics}" "[\t ]DLL\n" "an image that is no DLL")
require_no_match("${private}" "CheckSum[\t ]+00000000\n" "a checksum")

# The entry is DriverEntry, where the link map places it.
string(REGEX MATCH "AddressOfEntryPoint[\t ]+([0-9a-fA-F]+)" _ "${private}")
set(entry ${CMAKE_MATCH_1})
string(REGEX MATCH "ImageBase[\t ]+([0-9a-fA-F]+)" _ "${private}")
set(base ${CMAKE_MATCH_1})
file(READ ${MAP} map)
string(REGEX MATCH "0x0*([0-9a-fA-F]+)[\t ]+DriverEntry\n" _ "${map}")
set(driverEntry ${CMAKE_MATCH_1})
if(entry STREQUAL "" OR base STREQUAL "" OR driverEntry STREQUAL "")
  list(APPEND failures "an entry point, an image base and DriverEntry in the map")
else()
  math(EXPR expected "0x${driverEntry} - 0x${base}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR actual "0x${entry}" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT expected STREQUAL actual)
    list(APPEND failures "the entry at DriverEntry (entry ${actual}, DriverEntry at ${expected})")
  endif()
endif()

# Every base relocation is a 64-bit one: the kernel loads drivers far above 4 GB.
string(REGEX MATCHALL "\\] [A-Z0-9_]+\n" relocations "${private}")
if(NOT relocations)
  list(APPEND failures "base relocations")
endif()
foreach(kind IN LISTS relocations)
  require_match("${kind}" "DIR64" "64-bit relocations only (found ${kind})")
endforeach()

# No runtime start-up, thread-local storage or constructor tables.
foreach(section CRT tls ctors dtors)
  require_no_match("${sections}" " [.]${section}[\t ]" "no .${section} section")
endforeach()

# Imports from the kernel, the HAL, Port Class and kernel streaming, and nothing else.
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${private}")
set(imported)
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  list(APPEND imported ${dll})
  require_match("${dll}" "^(ntoskrnl[.]exe|hal[.]dll|portcls[.]sys|ks[.]sys)$" "no import from ${dll}")
endforeach()
if(NOT "ntoskrnl.exe" IN_LIST imported OR NOT "portcls.sys" IN_LIST imported)
  list(APPEND failures "imports from the kernel and Port Class")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${IMAGE} is not the driver image it must be; it lacks:\n  ${text}")
endif()
list(JOIN imported ", " text)
message(STATUS "native x86-64 driver image entered at DriverEntry, importing from ${text} alone")
