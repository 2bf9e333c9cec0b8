# cmake -DOBJDUMP=<objdump> -DIMAGE=<segworker.exe> -P check_worker_image.cmake
# Fails unless the image is the worker as it ships: an x86-64 PE32+ program of the Windows GUI
# subsystem (no console) that imports system DLLs alone, so the C++ runtime, libcrypto, pugixml
# and the engine are inside it, and that carries both enciphered network resources.

cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ImageChecks.cmake)

image_dump(dump -f -p)

require_match("${dump}" "file format pei-x86-64" "an x86-64 PE image")
require_match("${dump}" "Magic[\t ]+020b" "a PE32+ optional header")
require_match("${dump}" "Subsystem[\t ]+00000002[\t ]+[(]Windows GUI[)]" "the Windows GUI subsystem")

# Windows' own DLLs and its C runtime; nothing of mingw-w64 (libstdc++, libgcc, winpthread),
# OpenSSL or pugixml.
set(system_dlls advapi32.dll bcrypt.dll crypt32.dll kernel32.dll msvcrt.dll ole32.dll
    shell32.dll user32.dll ws2_32.dll)
image_imported_dlls(imported "${dump}")
foreach(dll IN LISTS imported)
  if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
    list(APPEND failures "no import from ${dll}")
  endif()
endforeach()
if(NOT "kernel32.dll" IN_LIST imported)
  list(APPEND failures "imports from kernel32.dll")
endif()

# The resource table keeps each file under its full path.
file(STRINGS ${IMAGE} names REGEX "^inference_engine/(graph|weights)$")
foreach(name inference_engine/graph inference_engine/weights)
  if(NOT name IN_LIST names)
    list(APPEND failures "the embedded resource \"${name}\"")
  endif()
endforeach()

image_check_result("worker image")
list(JOIN imported ", " text)
message(STATUS "PE32+ x86-64 Windows GUI program with \"inference_engine/graph\" and "
               "\"inference_engine/weights\", importing ${text}")
