# vextra_audio_driver_library(name): the driver's sources as a static library against the
# kernel surface alone, built as kernel code is: no exceptions, no RTTI.
set(VEXTRA_AUDIO_DRIVER_DIR ${CMAKE_CURRENT_LIST_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/platform/kernel_surface.cmake)

function(vextra_audio_driver_library name)
  add_library(${name} STATIC
    ${VEXTRA_AUDIO_DRIVER_DIR}/audio_adapter.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/data_ranges.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/driver_entry.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/property_requests.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/start_device.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/topology_descriptor.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/topology_miniport.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/topology_properties.cpp
    ${VEXTRA_AUDIO_DRIVER_DIR}/wave_miniport.cpp
  )
  target_include_directories(${name} PUBLIC ${VEXTRA_AUDIO_DRIVER_DIR})
  target_link_libraries(${name} PUBLIC vextra_kernel_surface)
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti -Wall -Wextra)
endfunction()
