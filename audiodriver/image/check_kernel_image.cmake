# cmake -DOBJDUMP=<objdump> -DIMAGE=<VextraAudioDriver.sys> -DMAP=<link map> -DINF=<its INF> -P check_kernel_image.cmake
# Fails unless the image is what the kernel loads as a driver: an x86-64 PE image of the
# native subsystem, entered at DriverEntry, relocatable to any address, importing from the
# kernel, the HAL, Port Class and kernel streaming alone, with no runtime of its own; and
# unless its INF offers it only to the Windows versions its subsystem version asks for.

cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ImageChecks.cmake)

set(failures)

# A hexadecimal or decimal field of the image's private headers, or empty.
function(header_field out name)
  string(REGEX MATCH "${name}[\t ]+([0-9a-fA-F]+)" _ "${private}")
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

image_dump(headers -f)
image_dump(private -p)
image_dump(sections -h)

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
header_field(entry AddressOfEntryPoint)
header_field(base ImageBase)
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
image_imported_dlls(imported "${private}")
foreach(dll IN LISTS imported)
  require_match("${dll}" "^(ntoskrnl[.]exe|hal[.]dll|portcls[.]sys|ks[.]sys)$" "no import from ${dll}")
endforeach()
if(NOT "ntoskrnl.exe" IN_LIST imported OR NOT "portcls.sys" IN_LIST imported)
  list(APPEND failures "imports from the kernel and Port Class")
endif()

# Every models section the INF names is decorated for x86-64 and at least the image's
# subsystem version: on an older Windows the device is left without a driver rather than
# given one that cannot load.
header_field(major MajorSubsystemVersion)
header_field(minor MinorSubsystemVersion)
file(READ ${INF} inf)
string(REGEX MATCH "\n[[]Manufacturer[]][^\n]*\n([^[]*)" _ "${inf}")
string(REGEX MATCHALL "=[^\n;]+" models "${CMAKE_MATCH_1}")
if(major STREQUAL "" OR minor STREQUAL "" OR NOT models)
  list(APPEND failures "a subsystem version and models sections in the INF")
endif()
foreach(model IN LISTS models)
  string(REGEX REPLACE "^=[\t ]*" "" model "${model}")
  string(REPLACE "," ";" parts "${model}")
  list(POP_FRONT parts name)
  string(STRIP "${name}" name)
  if(NOT parts)
    list(APPEND failures "a target decoration on the models section ${name}")
  endif()
  foreach(target IN LISTS parts)
    string(STRIP "${target}" target)
    if(NOT target MATCHES "^NTamd64[.]([0-9]+)[.]([0-9]+)$")
      list(APPEND failures "an x86-64 models section for Windows ${major}.${minor} or later (found ${name}.${target})")
    elseif(CMAKE_MATCH_1 LESS major OR (CMAKE_MATCH_1 EQUAL major AND CMAKE_MATCH_2 LESS minor))
      list(APPEND failures "no models section below Windows ${major}.${minor} (found ${name}.${target})")
    elseif(NOT inf MATCHES "\n[[]${name}[.]${target}[]]")
      list(APPEND failures "the models section [${name}.${target}]")
    endif()
  endforeach()
endforeach()

image_check_result("driver image")
list(JOIN imported ", " text)
message(STATUS "native x86-64 driver image entered at DriverEntry, importing from ${text} alone")
