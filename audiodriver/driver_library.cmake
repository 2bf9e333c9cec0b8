# vextra_audio_driver_library(name): the driver's sources as a static library against the
# kernel surface alone, built as kernel code is: no exceptions, no RTTI.
set(VEXTRA_AUDIO_DRIVER_DIR ${CMAKE_CURRENT_LIST_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/platform/kernel_surface.cmake)

# The sources of the driver, the same for the test library and the kernel image.
set(VEXTRA_AUDIO_DRIVER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/audio_adapter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_ranges.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loopback_ring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/property_requests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/start_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/topology_descriptor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/topology_miniport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/topology_properties.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_descriptor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_miniport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_properties.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_stream.cpp
)

function(vextra_audio_driver_library name)
  add_library(${name} STATIC ${VEXTRA_AUDIO_DRIVER_SOURCES})
  target_include_directories(${name} PUBLIC ${VEXTRA_AUDIO_DRIVER_DIR})
  target_link_libraries(${name} PUBLIC vextra_kernel_surface)
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti -Wall -Wextra)
endfunction()
