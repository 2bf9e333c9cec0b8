# The native build's programs that a Windows build runs: the model converter and the resource
# embedder (so the Windows worker carries the network enciphered exactly as natively), and
# the native worker's masks of the sample photographs that the Windows worker is compared
# with. They are built in the native build tree (the linux preset, configured on first use),
# not a second time here; each is an imported executable of the same name.
include(ExternalProject)

set(VEXTRA_NATIVE_BUILD_DIR ${PROJECT_SOURCE_DIR}/build/linux CACHE PATH
    "The native build tree whose tools this build runs")
set(native_tools model-converter embed-resources segworker_photo_masks)
set(native_tool_paths
  ${VEXTRA_NATIVE_BUILD_DIR}/tools/model-converter/model-converter
  ${VEXTRA_NATIVE_BUILD_DIR}/tools/embed-resources/embed-resources
  ${VEXTRA_NATIVE_BUILD_DIR}/segworker/tests/segworker_photo_masks)

ExternalProject_Add(native_tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VEXTRA_NATIVE_BUILD_DIR}
  STAMP_DIR ${CMAKE_BINARY_DIR}/native-tools-stamp
  TMP_DIR ${CMAKE_BINARY_DIR}/native-tools-tmp
  DOWNLOAD_COMMAND ""
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_SOURCE_DIR} ${CMAKE_COMMAND} --preset linux
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${VEXTRA_NATIVE_BUILD_DIR} --target ${native_tools}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${native_tool_paths})

foreach(tool path IN ZIP_LISTS native_tools native_tool_paths)
  add_executable(${tool} IMPORTED GLOBAL)
  set_target_properties(${tool} PROPERTIES IMPORTED_LOCATION ${path})
  add_dependencies(${tool} native_tools)
endforeach()
