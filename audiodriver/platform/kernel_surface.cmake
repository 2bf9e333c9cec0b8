# vextra_kernel_surface: the platform header the driver is written against. The driver's
# sources, the kernel image and the kernel stand-in all take it from here.
if(NOT TARGET vextra_kernel_surface)
  add_library(vextra_kernel_surface INTERFACE)
  target_include_directories(vextra_kernel_surface INTERFACE ${CMAKE_CURRENT_LIST_DIR})
endif()
